// A byte_source whose read_exact, skip and skip_exact are the generic forms in
// terms of read: a subclass overrides read alone. They reach read and skip
// through the table, as any caller of the interface would.
#pragma once

#include <stdint.h>

#include "host/byte_source.h"

class generic_byte_source : public byte_source {
 public:
  // One read of count bytes; fewer throws exception_io_data_truncation.
  void read_exact(void* buffer, uint32_t count, abort_signal& abort) override;
  // Reads and discards up to count bytes in chunks of at most 256; returns how
  // many came. Stops at the first short read.
  uint64_t skip(uint64_t count, abort_signal& abort) override;
  // skip of count; fewer skipped throws exception_io_data_truncation.
  void skip_exact(uint64_t count, abort_signal& abort) override;

 protected:
  ~generic_byte_source() = default;
};
