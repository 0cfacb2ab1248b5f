// A host_api for tests: it serves a fixed row of named_service instances that
// count every reference taken and dropped, records what the module asked, and
// misbehaves on request.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "host/guid.h"
#include "host/host_api.h"
#include "host/win_types.h"
#include "lookup/named_service.h"
#include "service/service_ref.h"
#include "support/reference_count.h"

// A service object with a reference count. It starts with the references its
// owner holds (one by default), and reports a test failure when it is used
// after its count dropped to zero or released below zero.
class counted_service final : public named_service {
 public:
  explicit counted_service(uint32_t initial_references = 1, GUID guid = null_guid,
                           const char* name = "");

  uint32_t release() override { return count_.release(); }
  uint32_t add_ref() override { return count_.add_ref(); }
  bool query(service_ref& out, const GUID& service_class) override;
  void reserved_slot_3() override;
  const char* service_name() override { return name_; }
  GUID service_guid() override { return guid_; }

  uint32_t references() const { return count_.references(); }
  uint32_t releases() const { return count_.releases(); }
  uint32_t add_refs() const { return count_.add_refs(); }

 private:
  reference_count count_;
  GUID guid_;
  const char* name_;
};

class fake_host final : public host_api {
 public:
  static constexpr uint32_t class_handle = 0x51D7u;

  // instance_count instances, each holding one reference of the host's own.
  explicit fake_host(uint32_t instance_count);

  uint32_t find_class(const GUID& service_class) override;
  bool create(service_ref& out, uint32_t class_handle, uint32_t index) override;
  void reserved_slot_2() override;
  HWND main_window() override;

  // Fixed at construction, so addresses stay valid.
  std::vector<counted_service> instances;
  HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x2345));

  // What the module asked.
  uint32_t find_class_calls = 0;
  uint32_t main_window_calls = 0;
  GUID last_class = null_guid;
  std::vector<uint32_t> created_indexes;
  std::vector<uint32_t> created_handles;

  // Misbehaviour: a create that answers false still leaves this object, with
  // a reference, in the caller's reference.
  counted_service* stray_on_false = nullptr;
  // create at this index puts stray_on_false (when set) into the reference and
  // then throws std::runtime_error.
  std::optional<uint32_t> throw_at_index;
  // main_window throws std::runtime_error.
  bool throw_from_main_window = false;
};
