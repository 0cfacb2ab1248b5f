// An output stream the host hands to a module (settings saving).
#pragma once

#include <stdint.h>

#include "quarlo/abort_signal.h"

class byte_sink {
 public:
  // 0: writes count bytes from buffer; failures are thrown as exceptions.
  virtual void write(const void* buffer, uint32_t count, abort_signal& abort) = 0;

 protected:
  ~byte_sink() = default;
};
