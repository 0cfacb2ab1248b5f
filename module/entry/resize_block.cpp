#include "entry/resize_block.h"

#include "trel/alloc.h"
#include "trel/heap.h"

void* resize_block(void* block, uint32_t n) {
  if (block == nullptr) return n == 0 ? nullptr : trel::alloc_or_throw(n);
  if (n == 0) {
    trel::heap::release(block);
    return nullptr;
  }
  uint32_t size = 0;
  if (trel::heap::block_size(block, size) && size == n) return block;
  return trel::realloc_or_throw(block, n);
}
