#include "support/test_heap.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "trel/heap.h"

#if defined(__SANITIZE_ADDRESS__)
#define TEST_HEAP_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TEST_HEAP_ASAN 1
#endif
#endif

#ifdef TEST_HEAP_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace {

constexpr unsigned char fresh_byte = 0xA5;

struct block_info {
  uint32_t size;     // the size last requested
  uint32_t reserve;  // bytes actually allocated
};

struct heap_state {
  std::unordered_map<const void*, block_info> blocks;
  uint64_t bytes = 0;
  uint32_t fallible = 0;
  uint32_t allocations = 0;
  uint32_t reallocations = 0;
  uint32_t releases = 0;
  uint32_t expansions = 0;
  uint32_t fail_at = 0;
  bool fired = false;
  bool fail_all = false;
  uint32_t unfailing = 0;
  bool emulate_block_size = true;
  bool emulate_expand = false;
};

// Never destroyed, so blocks that static objects free at exit are still known.
heap_state& state() {
  static heap_state* s = new heap_state;
  return *s;
}

[[noreturn]] void corrupt(const char* what, const void* block) {
  std::fprintf(stderr, "test heap: %s %p\n", what, block);
  std::abort();
}

uint32_t reserve_for(uint32_t size) { return size + std::max(size, 64u); }

void poison(unsigned char* p, uint32_t size, uint32_t reserve) {
#ifdef TEST_HEAP_ASAN
  ASAN_UNPOISON_MEMORY_REGION(p, size);
  ASAN_POISON_MEMORY_REGION(p + size, reserve - size);
#else
  (void)p;
  (void)size;
  (void)reserve;
#endif
}

// Counts a fallible call and decides whether it fails.
bool next_call_fails() {
  heap_state& s = state();
  if (s.unfailing > 0) return false;
  ++s.fallible;
  if (s.fail_all) return true;
  if (s.fail_at != 0 && s.fallible == s.fail_at) {
    s.fired = true;
    return true;
  }
  return false;
}

block_info& known(const void* block, const char* what) {
  auto it = state().blocks.find(block);
  if (it == state().blocks.end()) corrupt(what, block);
  return it->second;
}

void* new_block(uint32_t size) {
  if (size == 0 || size > test_heap::max_block) return nullptr;
  const uint32_t reserve = reserve_for(size);
  auto* p = static_cast<unsigned char*>(std::malloc(reserve));
  if (!p) return nullptr;
  std::memset(p, fresh_byte, reserve);
  poison(p, size, reserve);
  state().blocks.emplace(p, block_info{size, reserve});
  state().bytes += size;
  return p;
}

void drop_block(void* block) {
  block_info& info = known(block, "release of a block it never handed out:");
#ifdef TEST_HEAP_ASAN
  ASAN_UNPOISON_MEMORY_REGION(block, info.reserve);
#endif
  state().bytes -= info.size;
  state().blocks.erase(block);
  std::free(block);
}

}  // namespace

namespace trel::heap {

void* allocate(uint32_t size) {
  ++state().allocations;
  if (next_call_fails()) return nullptr;
  return new_block(size);
}

void* reallocate(void* block, uint32_t size) {
  ++state().reallocations;
  const uint32_t old_size = block ? known(block, "reallocation of an unknown block:").size : 0;
  if (next_call_fails()) return nullptr;
  if (!block) return new_block(size);
  // Always moves, so code that keeps a pointer into the old block is caught.
  void* moved = new_block(size);
  if (!moved) return nullptr;
  std::memcpy(moved, block, std::min(old_size, size));
  drop_block(block);
  return moved;
}

void release(void* block) {
  ++state().releases;
  if (block) drop_block(block);
}

bool block_size(const void* block, uint32_t& size) {
  const block_info& info = known(block, "size query of a block it never handed out:");
  if (!state().emulate_block_size) return false;
  size = info.size;
  return true;
}

bool expand_in_place(void* block, uint32_t size) {
  ++state().expansions;
  block_info& info = known(block, "in-place extension of a block it never handed out:");
  if (next_call_fails()) return false;
  if (!state().emulate_expand || size == 0 || size > info.reserve) return false;
  auto* p = static_cast<unsigned char*>(block);
  poison(p, std::max(size, info.size), info.reserve);
  if (size > info.size) std::memset(p + info.size, fresh_byte, size - info.size);
  poison(p, size, info.reserve);
  state().bytes = state().bytes - info.size + size;
  info.size = size;
  return true;
}

}  // namespace trel::heap

namespace test_heap {

void reset() {
  heap_state& s = state();
  s.fallible = s.allocations = s.reallocations = s.releases = s.expansions = 0;
  s.fail_at = 0;
  s.fired = false;
  s.fail_all = false;
}

void fail_at(uint32_t k) {
  state().fail_at = k == 0 ? 0 : state().fallible + k;
  state().fired = false;
}

void fail_all(bool on) { state().fail_all = on; }
bool armed_failure_fired() { return state().fired; }

uint32_t fallible_calls() { return state().fallible; }
uint32_t allocations() { return state().allocations; }
uint32_t reallocations() { return state().reallocations; }
uint32_t releases() { return state().releases; }
uint32_t expansions() { return state().expansions; }
uint32_t heap_calls() {
  const heap_state& s = state();
  return s.allocations + s.reallocations + s.releases + s.expansions;
}

uint32_t live_blocks() { return static_cast<uint32_t>(state().blocks.size()); }
uint64_t live_bytes() { return state().bytes; }

void emulate_block_size(bool on) { state().emulate_block_size = on; }
void emulate_expand(bool on) { state().emulate_expand = on; }

unfailing::unfailing() { ++state().unfailing; }
unfailing::~unfailing() { --state().unfailing; }

void heap_test::SetUp() {
  emulate_block_size(true);
  emulate_expand(false);
  reset();
  blocks_at_start_ = live_blocks();
}

void heap_test::TearDown() {
  EXPECT_EQ(live_blocks(), blocks_at_start_) << "blocks leaked by the test";
  emulate_block_size(true);
  emulate_expand(false);
  reset();
}

}  // namespace test_heap
