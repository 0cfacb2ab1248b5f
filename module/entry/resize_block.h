// The exact-size block operation shared by simple_string and the exact-size
// string policy: a heap block resized to exactly n bytes.
#pragma once

#include <stdint.h>

// The block resized to n bytes, keeping its bytes up to the smaller size:
// null for n 0 (the block, if any, is freed), a fresh block when none was held,
// the same block when the heap already reports exactly n bytes. Throws
// std::bad_alloc on heap failure, leaving the old block valid and unchanged.
void* resize_block(void* block, uint32_t n);
