// The host_api a module receives: service lookup over a service_registry and
// the main window, which the user interface sets once it has one.
#pragma once

#include "quarlo/host_api.h"
#include "quarlo_host/runtime/service_registry.h"

namespace quarlo_host {

class host_api_impl final : public host_api {
 public:
  explicit host_api_impl(service_registry& registry) : registry_(registry) {}

  uint32_t find_class(const GUID& service_class) override {
    return registry_.find_class(service_class);
  }
  bool create(service_ref& out, uint32_t class_handle, uint32_t index) override {
    return registry_.create(out, class_handle, index);
  }
  void reserved_slot_2() override {}
  HWND main_window() override { return window_; }

  void set_main_window(HWND window) { window_ = window; }

 private:
  service_registry& registry_;
  HWND window_ = nullptr;
};

}  // namespace quarlo_host
