// A growable array of bytes that owns its heap block. The capacity starts at 1
// and doubles, and never decreases while the buffer lives; a smaller size only
// lowers the size. Users read bytes and size directly and copy into the block
// after resize_used.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace trel {

class byte_buffer final {
 public:
  // The heap block, null when none is held.
  uint8_t* bytes = nullptr;
  // The block's size in bytes, a power of two; 0 when none is held.
  uint32_t capacity = 0;
  // Bytes in use, at most the capacity.
  uint32_t size = 0;

  byte_buffer() = default;
  byte_buffer(const byte_buffer&) = delete;
  byte_buffer& operator=(const byte_buffer&) = delete;
  ~byte_buffer() { free_block(); }

  // Sets the size to count, growing the capacity by doubling as needed; bytes
  // below the smaller of the old size and count are kept, new ones are not
  // initialised. A block of capacity 1 is allocated when none is held, even for
  // count 0. Throws std::bad_alloc, leaving the buffer unchanged, when the heap
  // fails or count is above 2^31.
  void resize_used(uint32_t count);
  // Frees the block if one is held; the buffer is empty afterwards.
  void free_block();
};

static_assert(offsetof(byte_buffer, bytes) == 0);
static_assert(offsetof(byte_buffer, capacity) == sizeof(void*));
static_assert(offsetof(byte_buffer, size) == sizeof(void*) + 4);

}  // namespace trel
