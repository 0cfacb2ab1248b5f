#include "service/service_enumerator.h"

service_enumerator::service_enumerator(host_api& host, const GUID& service_class)
    : host_(&host), class_handle_(host.find_class(service_class)) {}

bool service_enumerator::next(service_ref& out, uint32_t index) {
  service_ref local;
  if (!host_->create(local, class_handle_, index)) return false;
  out.adopt(local.detach());
  return true;
}
