#include "quarlo_host/runtime/named_object.h"

namespace quarlo_host {

bool named_object::query(service_ref& out, const GUID& service_class) {
  if (!quarlo::guid_equal(service_class, named_service::class_guid)) return false;
  out.assign(this);
  return true;
}

}  // namespace quarlo_host
