// String storage that keeps its heap block exactly as large as the buffer size:
// every change of the buffer size reallocates the block.
#pragma once

#include <stdint.h>

#include "entry/resize_block.h"
#include "trel/heap.h"

namespace trel {

class alloc_standard final {
 public:
  alloc_standard() = default;
  alloc_standard(const alloc_standard&) = delete;
  alloc_standard& operator=(const alloc_standard&) = delete;
  ~alloc_standard() {
    if (block_) heap::release(block_);
  }

  // The heap block, null until the first write.
  char* block() const { return block_; }
  // The block's size as last requested from the heap.
  uint32_t buffer_size() const { return size_; }
  // The block holds exactly the buffer size.
  uint32_t capacity() const { return size_; }

  // Makes the block exactly n bytes (n above 0), keeping its bytes up to the
  // smaller size. Throws std::bad_alloc and changes nothing when the heap fails.
  void set_buffer_size(uint32_t n) {
    block_ = static_cast<char*>(resize_block(block_, n));
    size_ = n;
  }

 private:
  char* block_ = nullptr;
  uint32_t size_ = 0;
};

}  // namespace trel
