// The real heap: the C runtime's malloc, realloc and free. On Windows the
// runtime also tells a block's size and can grow or shrink a block in place;
// elsewhere both questions answer false and the growth rules fall back to
// reallocation and copying.
#include "trel/heap.h"

#include <stdlib.h>

#ifdef _WIN32
#include <malloc.h>
#endif

namespace trel::heap {

void* allocate(uint32_t size) { return malloc(size); }

void* reallocate(void* block, uint32_t size) { return realloc(block, size); }

void release(void* block) { free(block); }

#ifdef _WIN32

bool block_size(const void* block, uint32_t& size) {
  const size_t n = _msize(const_cast<void*>(block));
  if (n == static_cast<size_t>(-1)) return false;
  size = static_cast<uint32_t>(n);
  return true;
}

// The runtime may hand back another block or null; only the same block means
// the block now has the new size.
bool expand_in_place(void* block, uint32_t size) { return _expand(block, size) == block; }

#else

bool block_size(const void*, uint32_t&) { return false; }

bool expand_in_place(void*, uint32_t) { return false; }

#endif

}  // namespace trel::heap
