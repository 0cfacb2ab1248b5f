#include "quarlo_host/checker/check_host.h"

#include <new>

#include "quarlo/exception_io.h"

namespace quarlo_host {

uint32_t check_host::find_class(const GUID& service_class) {
  throw_when_armed();
  return registry_.find_class(service_class);
}

bool check_host::create(service_ref& out, uint32_t class_handle, uint32_t index) {
  throw_when_armed();
  return registry_.create(out, class_handle, index);
}

void check_host::throw_when_armed() const {
  switch (failure_.load()) {
    case host_failure::none:
      return;
    case host_failure::bad_alloc:
      throw std::bad_alloc();
    case host_failure::exception_io:
      throw quarlo_io::exception_io(host_failure_message);
  }
}

}  // namespace quarlo_host
