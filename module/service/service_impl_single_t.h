// The one static instance of service class T: its counting is inert, because the
// object lives from load to unload and is never freed.
#pragma once

#include <stdint.h>

#include "host/guid.h"
#include "service/service_ref.h"

template <class T>
class service_impl_single_t final : public T {
 public:
  uint32_t release() override { return 1; }
  uint32_t add_ref() override { return 1; }
  // Answers only the class GUID of the interface T implements.
  bool query(service_ref& out, const GUID& service_class) override {
    if (!guid_equal(service_class, T::class_guid)) return false;
    out.assign(this);
    return true;
  }
};
