// Allocation helpers: heap calls that throw std::bad_alloc instead of returning null.
#pragma once

#include <stdint.h>

namespace trel {

// n bytes from the heap (n above 0); throws std::bad_alloc when none are left.
void* alloc_or_throw(uint32_t n);
// The block resized to n bytes (n above 0), bytes kept up to the smaller size.
// Throws std::bad_alloc on failure, leaving the old block valid and unchanged.
void* realloc_or_throw(void* block, uint32_t n);

}  // namespace trel
