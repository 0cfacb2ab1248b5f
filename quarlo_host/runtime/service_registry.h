// The host's services as a module sees them through host_api: instances of
// the named_service class, found by class and fetched by a dense index. Each
// instance counts the references handed out; leak_report names every instance
// whose references did not all come back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "quarlo/guid.h"
#include "quarlo/named_service.h"
#include "quarlo/service_ref.h"
#include "quarlo_host/core/service_entry.h"

namespace quarlo_host {

// A named_service instance of the registry: a name, a GUID and a count of the
// references others hold. The registry owns it; release never frees it.
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

class service_registry final {
 public:
  // The handle find_class gives for the named_service class; 0 means unknown.
  static constexpr uint32_t named_service_handle = 1;

  // Appends an instance at the next index.
  named_object& add(const GUID& guid, std::string name);
  void add_all(const std::vector<service_entry>& entries);

  uint32_t find_class(const GUID& service_class);
  // True with out holding one counted reference to the instance at index;
  // false, out untouched, for an unknown handle or an index past the end.
  bool create(service_ref& out, uint32_t class_handle, uint32_t index);

  size_t size() const { return objects_.size(); }
  named_object& at(size_t index) { return *objects_[index]; }
  uint32_t find_class_calls() const { return find_class_calls_; }
  uint32_t create_calls() const { return create_calls_; }

  // One line per instance with references outstanding or released too often.
  std::vector<std::string> leak_report() const;

 private:
  std::vector<std::unique_ptr<named_object>> objects_;
  uint32_t find_class_calls_ = 0;
  uint32_t create_calls_ = 0;
};

}  // namespace quarlo_host
