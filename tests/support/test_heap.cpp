#include "support/test_heap.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "quarlo_host/core/heap_ledger.h"
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

using quarlo_host::heap_block;
using quarlo_host::heap_call;

constexpr unsigned char fresh_byte = 0xA5;

// A block's room in the ledger is its reserve.
struct heap_state {
  quarlo_host::heap_ledger ledger;
  bool emulate_block_size = true;
  bool emulate_expand = false;
};

// Never destroyed, so blocks that static objects free at exit are still known.
heap_state& state() {
  static heap_state* s = new heap_state;
  return *s;
}

quarlo_host::heap_ledger& ledger() { return state().ledger; }

[[noreturn]] void corrupt(const char* what, const void* block) {
  std::fprintf(stderr, "test heap: %s %p\n", what, block);
  std::abort();
}

uint32_t reserve_for(uint32_t size) { return size + std::max(size, 64u); }

// Under AddressSanitizer the first size bytes of a block's reserve are usable
// and the rest poisoned.
void mark_usable(unsigned char* p, uint32_t size, uint32_t reserve) {
#ifdef TEST_HEAP_ASAN
  ASAN_UNPOISON_MEMORY_REGION(p, size);
  ASAN_POISON_MEMORY_REGION(p + size, reserve - size);
#else
  (void)p;
  (void)size;
  (void)reserve;
#endif
}

heap_block& known(const void* block, const char* what) {
  heap_block* info = ledger().find(block);
  if (info == nullptr) corrupt(what, block);
  return *info;
}

void* new_block(uint32_t size) {
  if (size == 0 || size > test_heap::max_block) return nullptr;
  const uint32_t reserve = reserve_for(size);
  auto* p = static_cast<unsigned char*>(std::malloc(reserve));
  if (!p) return nullptr;
  std::memset(p, fresh_byte, reserve);
  mark_usable(p, size, reserve);
  ledger().record(p, size, reserve);
  return p;
}

void drop_block(void* block) {
  const uint32_t reserve = known(block, "release of a block it never handed out:").room;
  mark_usable(static_cast<unsigned char*>(block), reserve, reserve);
  ledger().retire(block);
  std::free(block);
}

}  // namespace

namespace trel::heap {

void* allocate(uint32_t size) {
  ledger().count(heap_call::malloc);
  if (ledger().next_fails()) return nullptr;
  return new_block(size);
}

void* reallocate(void* block, uint32_t size) {
  ledger().count(heap_call::realloc);
  const uint32_t old_size = block ? known(block, "reallocation of an unknown block:").size : 0;
  if (ledger().next_fails()) return nullptr;
  if (!block) return new_block(size);
  // Always moves, so code that keeps a pointer into the old block is caught.
  void* moved = new_block(size);
  if (!moved) return nullptr;
  std::memcpy(moved, block, std::min(old_size, size));
  drop_block(block);
  return moved;
}

void release(void* block) {
  ledger().count(heap_call::free);
  if (block) drop_block(block);
}

bool block_size(const void* block, uint32_t& size) {
  ledger().count(heap_call::size);
  const heap_block& info = known(block, "size query of a block it never handed out:");
  if (!state().emulate_block_size) return false;
  size = info.size;
  return true;
}

bool expand_in_place(void* block, uint32_t size) {
  ledger().count(heap_call::expand);
  heap_block& info = known(block, "in-place extension of a block it never handed out:");
  if (ledger().next_fails()) return false;
  if (!state().emulate_expand || size == 0 || size > info.room) return false;
  auto* p = static_cast<unsigned char*>(block);
  mark_usable(p, std::max(size, info.size), info.room);
  if (size > info.size) std::memset(p + info.size, fresh_byte, size - info.size);
  mark_usable(p, size, info.room);
  info.size = size;
  return true;
}

}  // namespace trel::heap

namespace test_heap {

void reset() { ledger().reset(); }
void fail_at(uint32_t k) { ledger().fail_at(k); }
void fail_all(bool on) { ledger().fail_all(on); }
bool armed_failure_fired() { return ledger().armed_failure_fired(); }

uint32_t fallible_calls() { return ledger().counts().fallible; }
uint32_t allocations() { return ledger().counts().mallocs; }
uint32_t reallocations() { return ledger().counts().reallocs; }
uint32_t releases() { return ledger().counts().frees; }
uint32_t expansions() { return ledger().counts().expands; }
uint32_t heap_calls() {
  const quarlo_host::heap_call_counts& c = ledger().counts();
  return c.mallocs + c.reallocs + c.frees + c.expands;
}

uint32_t live_blocks() { return ledger().live_blocks(); }
uint64_t live_bytes() { return ledger().live_bytes(); }

void emulate_block_size(bool on) { state().emulate_block_size = on; }
void emulate_expand(bool on) { state().emulate_expand = on; }

unfailing::unfailing() { ledger().suspend_failures(); }
unfailing::~unfailing() { ledger().resume_failures(); }

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
