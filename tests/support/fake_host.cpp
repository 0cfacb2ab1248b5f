#include "support/fake_host.h"

#include <stdexcept>

#include <gtest/gtest.h>

counted_service::counted_service(uint32_t initial_references, GUID guid, const char* name)
    : count_(initial_references, reference_count::freed_at_zero), guid_(guid), name_(name) {}

bool counted_service::query(service_ref&, const GUID&) { return false; }

void counted_service::reserved_slot_3() { ADD_FAILURE() << "reserved named_service slot called"; }

fake_host::fake_host(uint32_t instance_count) : instances(instance_count) {}

uint32_t fake_host::find_class(const GUID& service_class) {
  ++find_class_calls;
  last_class = service_class;
  return class_handle;
}

bool fake_host::create(service_ref& out, uint32_t handle, uint32_t index) {
  created_indexes.push_back(index);
  created_handles.push_back(handle);
  if (throw_at_index && *throw_at_index == index) {
    if (stray_on_false != nullptr) {
      stray_on_false->add_ref();
      out.adopt(stray_on_false);
    }
    throw std::runtime_error("host create failed");
  }
  if (handle != class_handle || index >= instances.size()) {
    if (stray_on_false != nullptr) {
      stray_on_false->add_ref();
      out.adopt(stray_on_false);
    }
    return false;
  }
  instances[index].add_ref();
  out.adopt(&instances[index]);
  return true;
}

void fake_host::reserved_slot_2() { ADD_FAILURE() << "reserved host_api slot called"; }

HWND fake_host::main_window() {
  ++main_window_calls;
  if (throw_from_main_window) throw std::runtime_error("host has no window");
  return window;
}
