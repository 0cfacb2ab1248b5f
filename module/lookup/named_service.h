// A host service class the lookup dialog searches: objects that carry a name
// and a GUID.
#pragma once

#include "host/guid.h"
#include "service/service_base.h"

class named_service : public service_base {
 public:
  // {7255E8D0-3FCF-4781-B93B-D06CB88DFAFA}
  static constexpr GUID class_guid = {
      0x7255E8D0, 0x3FCF, 0x4781, {0xB9, 0x3B, 0xD0, 0x6C, 0xB8, 0x8D, 0xFA, 0xFA}};

  // 3: reserved; the module never calls it.
  virtual void reserved_slot_3() = 0;
  // 4: the instance's NUL-terminated UTF-8 name, owned by the instance.
  virtual const char* service_name() = 0;
  // 5: the instance's GUID.
  virtual GUID service_guid() = 0;

 protected:
  ~named_service() = default;
};
