// A named_service instance the host registers: a name, a GUID and a count of
// the references others hold. The registry owns it; release never frees it.
#pragma once

#include <cstdint>
#include <string>

#include "quarlo/named_service.h"
#include "quarlo/service_ref.h"

namespace quarlo_host {

class named_object final : public named_service {
 public:
  named_object(const GUID& guid, std::string name) : guid_(guid), name_(std::move(name)) {}

  uint32_t release() override { return --references_; }
  uint32_t add_ref() override { return ++references_; }
  bool query(service_ref& out, const GUID& service_class) override;
  void reserved_slot_3() override {}
  const char* service_name() override { return name_.c_str(); }
  GUID service_guid() override { return guid_; }

  const std::string& name() const { return name_; }
  // References held by others, beside the registry's own.
  int32_t outstanding() const { return static_cast<int32_t>(references_ - 1); }

 private:
  GUID guid_;
  std::string name_;
  uint32_t references_ = 1;
};

}  // namespace quarlo_host
