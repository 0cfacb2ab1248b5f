// The one seam between the module and the C heap. Every heap call the module
// makes goes through these functions, so tests can link a heap that counts
// calls, tracks live blocks and fails the k-th call.
#pragma once

#include <stdint.h>

namespace trel::heap {

// A new block of size bytes (size above 0), or null when the heap has no room.
void* allocate(uint32_t size);
// The block resized to size bytes (size above 0), keeping its bytes up to the
// smaller size; null on failure, and the old block then stays valid and unchanged.
void* reallocate(void* block, uint32_t size);
// Frees a block; null is ignored.
void release(void* block);
// True with the block's size when the heap can tell it; false where it cannot.
bool block_size(const void* block, uint32_t& size);
// Grows or shrinks the block to size bytes without moving it. False leaves the
// block as it was, also where the heap offers no in-place extension.
bool expand_in_place(void* block, uint32_t size);

}  // namespace trel::heap
