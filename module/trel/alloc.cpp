#include "trel/alloc.h"

#include <new>

#include "trel/heap.h"

namespace trel {

void* alloc_or_throw(uint32_t n) {
  void* block = heap::allocate(n);
  if (!block) throw std::bad_alloc();
  return block;
}

void* realloc_or_throw(void* block, uint32_t n) {
  void* moved = heap::reallocate(block, n);
  if (!moved) throw std::bad_alloc();
  return moved;
}

}  // namespace trel
