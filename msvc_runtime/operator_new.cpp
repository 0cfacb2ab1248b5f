// The allocation functions, over the C heap of msvcrt.dll.
#include <stdlib.h>

#include <new>

void* operator new(std::size_t size) {
  void* block = malloc(size != 0 ? size : 1);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void* operator new[](std::size_t size) { return ::operator new(size); }

void operator delete(void* block) noexcept { free(block); }

void operator delete[](void* block) noexcept { free(block); }

void operator delete(void* block, std::size_t) noexcept { free(block); }

void operator delete[](void* block, std::size_t) noexcept { free(block); }
