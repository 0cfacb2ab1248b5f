// A host input stream (settings loading). Short or malformed data is reported by
// throwing an exception of the quarlo_io::exception_io_data family.
#pragma once

#include <stdint.h>

#include "host/abort_signal.h"

class byte_source {
 public:
  // 0: reads up to count bytes; returns how many came, fewer only at the end of data.
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
