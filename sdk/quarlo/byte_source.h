// An input stream the host hands to a module (settings loading). Short or
// malformed data is reported by throwing quarlo_io::exception_io_data or a
// class derived from it.
#pragma once

#include <stdint.h>

#include "quarlo/abort_signal.h"

class byte_source {
 public:
  // 0: reads up to count bytes into buffer; returns how many, fewer only at the end.
  virtual uint32_t read(void* buffer, uint32_t count, abort_signal& abort) = 0;
  // 1: reads exactly count bytes or throws exception_io_data (or a derived class).
  virtual void read_exact(void* buffer, uint32_t count, abort_signal& abort) = 0;
  // 2: skips up to count bytes; returns how many were skipped.
  virtual uint64_t skip(uint64_t count, abort_signal& abort) = 0;
  // 3: skips exactly count bytes or throws like read_exact.
  virtual void skip_exact(uint64_t count, abort_signal& abort) = 0;

 protected:
  ~byte_source() = default;
};
