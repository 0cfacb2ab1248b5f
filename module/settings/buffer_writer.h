// A byte_sink that appends to a byte_buffer it does not own. It lives on the
// stack of a save, one over the save's buffer.
#pragma once

#include <stdint.h>

#include "host/byte_sink.h"
#include "trel/byte_buffer.h"

class buffer_writer final : public byte_sink {
 public:
  explicit buffer_writer(trel::byte_buffer& buffer) : buffer_(&buffer) {}

  // Appends count bytes. Throws std::bad_alloc, leaving the buffer unchanged,
  // when the heap fails or the size would pass 2^32 - 1.
  void write(const void* buffer, uint32_t count, abort_signal& abort) override;

 private:
  trel::byte_buffer* buffer_;
};
