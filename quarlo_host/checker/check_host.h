// The host_api the checker hands a module: service lookup over the session's
// registry and the main window a case sets, and, when a case arms it, look-ups
// that throw the host's own failures, as a host short of memory or reading a
// broken profile does. Armed and disarmed from any thread.
#pragma once

#include <atomic>

#include "quarlo/host_api.h"
#include "quarlo_host/runtime/service_registry.h"

namespace quarlo_host {

// What an armed host throws from find_class and create.
enum class host_failure { none, bad_alloc, exception_io };

// The text of the exception_io an armed host throws.
inline constexpr char host_failure_message[] = "the host failed on purpose";

class check_host final : public host_api {
 public:
  explicit check_host(service_registry& registry) : registry_(registry) {}

  uint32_t find_class(const GUID& service_class) override;
  bool create(service_ref& out, uint32_t class_handle, uint32_t index) override;
  void reserved_slot_2() override {}
  HWND main_window() override { return window_.load(); }

  void set_main_window(HWND window) { window_ = window; }
  void arm(host_failure failure) { failure_ = failure; }

 private:
  void throw_when_armed() const;

  service_registry& registry_;
  std::atomic<HWND> window_{nullptr};
  std::atomic<host_failure> failure_{host_failure::none};
};

}  // namespace quarlo_host
