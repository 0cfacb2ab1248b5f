#include "quarlo_host/runtime/service_registry.h"

#include "quarlo_host/core/guid_text.h"

namespace quarlo_host {

bool named_object::query(service_ref& out, const GUID& service_class) {
  if (!quarlo::guid_equal(service_class, named_service::class_guid)) return false;
  out.assign(this);
  return true;
}

named_object& service_registry::add(const GUID& guid, std::string name) {
  objects_.push_back(std::make_unique<named_object>(guid, std::move(name)));
  return *objects_.back();
}

void service_registry::add_all(const std::vector<service_entry>& entries) {
  for (const auto& e : entries) add(e.guid, e.name);
}

uint32_t service_registry::find_class(const GUID& service_class) {
  ++find_class_calls_;
  return quarlo::guid_equal(service_class, named_service::class_guid) ? named_service_handle : 0;
}

bool service_registry::create(service_ref& out, uint32_t class_handle, uint32_t index) {
  ++create_calls_;
  if (class_handle != named_service_handle || index >= objects_.size()) return false;
  out.assign(objects_[index].get());
  return true;
}

std::vector<std::string> service_registry::leak_report() const {
  std::vector<std::string> lines;
  for (const auto& object : objects_) {
    const int32_t n = object->outstanding();
    if (n == 0) continue;
    const std::string what = n > 0 ? std::to_string(n) + " reference(s) never released"
                                   : "released " + std::to_string(-n) + " time(s) too often";
    lines.push_back(format_guid(object->service_guid()) + " " + object->name() + ": " + what);
  }
  return lines;
}

}  // namespace quarlo_host
