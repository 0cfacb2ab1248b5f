#include "trel/alloc.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "support/test_heap.h"
#include "trel/heap.h"

namespace {

using alloc_test = test_heap::heap_test;

TEST_F(alloc_test, AllocOrThrowReturnsUsableBlock) {
  const uint64_t bytes = test_heap::live_bytes();
  void* block = trel::alloc_or_throw(10);
  ASSERT_NE(block, nullptr);
  std::memset(block, 'x', 10);
  uint32_t size = 0;
  ASSERT_TRUE(trel::heap::block_size(block, size));
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(test_heap::live_bytes() - bytes, 10u);
  trel::heap::release(block);
}

TEST_F(alloc_test, AllocOrThrowThrowsWhenHeapIsEmpty) {
  const uint32_t blocks = test_heap::live_blocks();
  test_heap::fail_at(1);
  EXPECT_THROW(trel::alloc_or_throw(10), std::bad_alloc);
  EXPECT_TRUE(test_heap::armed_failure_fired());
  EXPECT_EQ(test_heap::live_blocks(), blocks);
}

TEST_F(alloc_test, ReallocOrThrowKeepsBytesUpToSmallerSize) {
  struct row {
    uint32_t from, to;
  };
  for (const row r : {row{8, 32}, row{32, 8}, row{5, 5}}) {
    SCOPED_TRACE(testing::Message() << r.from << " -> " << r.to);
    auto* block = static_cast<char*>(trel::alloc_or_throw(r.from));
    for (uint32_t i = 0; i < r.from; ++i) block[i] = static_cast<char>('a' + i);
    block = static_cast<char*>(trel::realloc_or_throw(block, r.to));
    for (uint32_t i = 0; i < std::min(r.from, r.to); ++i) EXPECT_EQ(block[i], 'a' + i);
    uint32_t size = 0;
    ASSERT_TRUE(trel::heap::block_size(block, size));
    EXPECT_EQ(size, r.to);
    trel::heap::release(block);
  }
}

TEST_F(alloc_test, FailedReallocOrThrowLeavesOldBlockValid) {
  const uint32_t blocks = test_heap::live_blocks();
  auto* block = static_cast<char*>(trel::alloc_or_throw(4));
  std::memcpy(block, "abc", 4);
  test_heap::fail_at(1);
  EXPECT_THROW(trel::realloc_or_throw(block, 400), std::bad_alloc);
  EXPECT_STREQ(block, "abc");
  uint32_t size = 0;
  ASSERT_TRUE(trel::heap::block_size(block, size));
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(test_heap::live_blocks(), blocks + 1);
  trel::heap::release(block);
}

// The test heap itself: everything else trusts its counting and failing.
TEST_F(alloc_test, TestHeapFailsExactlyTheArmedCall) {
  const uint32_t blocks = test_heap::live_blocks();
  const uint64_t bytes = test_heap::live_bytes();
  test_heap::fail_at(3);
  void* a = trel::heap::allocate(1);
  void* b = trel::heap::allocate(1);
  void* c = trel::heap::allocate(1);
  void* d = trel::heap::allocate(1);
  EXPECT_NE(a, nullptr);
  EXPECT_NE(b, nullptr);
  EXPECT_EQ(c, nullptr);
  EXPECT_NE(d, nullptr);
  EXPECT_EQ(test_heap::fallible_calls(), 4u);
  EXPECT_EQ(test_heap::allocations(), 4u);
  EXPECT_EQ(test_heap::live_blocks() - blocks, 3u);
  EXPECT_EQ(test_heap::live_bytes() - bytes, 3u);
  for (void* p : {a, b, d}) trel::heap::release(p);
  EXPECT_EQ(test_heap::releases(), 3u);
}

TEST_F(alloc_test, TestHeapUnfailingScopeNeitherFailsNorCounts) {
  test_heap::fail_all(true);
  void* block = nullptr;
  {
    test_heap::unfailing guard;
    block = trel::heap::allocate(8);
  }
  EXPECT_NE(block, nullptr);
  EXPECT_EQ(test_heap::fallible_calls(), 0u);
  EXPECT_EQ(trel::heap::allocate(8), nullptr);
  test_heap::fail_all(false);
  trel::heap::release(block);
}

TEST_F(alloc_test, TestHeapEmulatesHeapKinds) {
  void* block = trel::heap::allocate(16);
  uint32_t size = 0;
  EXPECT_TRUE(trel::heap::block_size(block, size));
  EXPECT_FALSE(trel::heap::expand_in_place(block, 32));

  test_heap::emulate_expand(true);
  EXPECT_TRUE(trel::heap::expand_in_place(block, 64));
  EXPECT_TRUE(trel::heap::block_size(block, size));
  EXPECT_EQ(size, 64u);
  std::memset(block, 0, 64);
  EXPECT_FALSE(trel::heap::expand_in_place(block, 1000)) << "beyond the block's reserve";

  test_heap::emulate_block_size(false);
  EXPECT_FALSE(trel::heap::block_size(block, size));
  trel::heap::release(block);
  EXPECT_EQ(test_heap::expansions(), 3u);
}

TEST_F(alloc_test, TestHeapRefusesHugeRequests) {
  EXPECT_EQ(trel::heap::allocate(test_heap::max_block + 1), nullptr);
  EXPECT_THROW(trel::alloc_or_throw(0x80000000u), std::bad_alloc);
}

}  // namespace
