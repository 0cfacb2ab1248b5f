// A host object that carries a name and a GUID; modules look them up by GUID.
#pragma once

#include "quarlo/guid.h"
#include "quarlo/service_base.h"

class named_service : public service_base {
 public:
  // {7255E8D0-3FCF-4781-B93B-D06CB88DFAFA}
  static constexpr GUID class_guid = {
      0x7255E8D0, 0x3FCF, 0x4781, {0xB9, 0x3B, 0xD0, 0x6C, 0xB8, 0x8D, 0xFA, 0xFA}};

  // 3: reserved; never called.
  virtual void reserved_slot_3() = 0;
  // 4: the NUL-terminated UTF-8 name, owned by the object.
  virtual const char* service_name() = 0;
  // 5: the object's GUID.
  virtual GUID service_guid() = 0;

 protected:
  ~named_service() = default;
};
