// The three operations every service object starts with; class slots follow.
#pragma once

#include <stdint.h>

#include "quarlo/guid.h"

class service_ref;

class service_base {
 public:
  // 0: drops one counted reference; returns the count after it.
  virtual uint32_t release() = 0;
  // 1: adds one counted reference; returns the count after it.
  virtual uint32_t add_ref() = 0;
  // 2: true with out filled (one counted reference) when the object implements
  //    service_class; false leaves out alone.
  virtual bool query(service_ref& out, const GUID& service_class) = 0;

 protected:
  ~service_base() = default;
};
