// String storage in a byte_buffer: the buffer size is the byte_buffer's size,
// the block only ever grows, by doubling, and shrinking makes no heap call.
#pragma once

#include <stdint.h>

#include "trel/byte_buffer.h"

namespace trel {

class alloc_fast_aggressive final {
 public:
  // The heap block, null until the first write.
  char* block() const { return reinterpret_cast<char*>(buffer_.bytes); }
  // The bytes the string treats as its buffer.
  uint32_t buffer_size() const { return buffer_.size; }
  // The block's real size, a power of two at least the buffer size.
  uint32_t capacity() const { return buffer_.capacity; }

  // Sets the buffer size to n, keeping the bytes up to the smaller size; the
  // block grows when n exceeds its capacity. Throws std::bad_alloc and changes
  // nothing when the heap fails or n is above 2^31.
  void set_buffer_size(uint32_t n) { buffer_.resize_used(n); }

 private:
  byte_buffer buffer_;
};

}  // namespace trel
