#include "trel/byte_buffer.h"

#include <string.h>
#include <new>

#include "trel/alloc.h"
#include "trel/heap.h"

namespace trel {

void byte_buffer::resize_used(uint32_t count) {
  uint32_t c = capacity == 0 ? 1 : capacity;
  while (c < count) {
    if (c >= 0x80000000u) throw std::bad_alloc();
    c *= 2;
  }
  if (!bytes) {
    bytes = static_cast<uint8_t*>(alloc_or_throw(c));
  } else if (c != capacity && !heap::expand_in_place(bytes, c)) {
    auto* moved = static_cast<uint8_t*>(alloc_or_throw(c));
    memcpy(moved, bytes, size < count ? size : count);
    heap::release(bytes);
    bytes = moved;
  }
  capacity = c;
  size = count;
}

void byte_buffer::free_block() {
  if (bytes) heap::release(bytes);
  bytes = nullptr;
  capacity = 0;
  size = 0;
}

}  // namespace trel
