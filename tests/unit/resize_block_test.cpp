#include "entry/resize_block.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "support/test_heap.h"
#include "trel/alloc.h"
#include "trel/heap.h"

namespace {

using resize_block_test = test_heap::heap_test;

uint32_t size_of(const void* block) {
  uint32_t size = 0;
  EXPECT_TRUE(trel::heap::block_size(block, size));
  return size;
}

TEST_F(resize_block_test, NullStaysNullForZeroWithoutHeapCall) {
  EXPECT_EQ(resize_block(nullptr, 0), nullptr);
  EXPECT_EQ(test_heap::heap_calls(), 0u);
}

TEST_F(resize_block_test, NullBlockGetsFreshExactBlock) {
  void* block = resize_block(nullptr, 7);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(size_of(block), 7u);
  EXPECT_EQ(test_heap::allocations(), 1u);
  EXPECT_EQ(test_heap::reallocations(), 0u);
  trel::heap::release(block);
}

TEST_F(resize_block_test, ZeroFreesTheBlock) {
  void* block = trel::alloc_or_throw(9);
  const uint32_t blocks = test_heap::live_blocks();
  EXPECT_EQ(resize_block(block, 0), nullptr);
  EXPECT_EQ(test_heap::live_blocks(), blocks - 1);
}

TEST_F(resize_block_test, ExactSizeKeepsTheBlockWithoutHeapCall) {
  void* block = trel::alloc_or_throw(12);
  test_heap::reset();
  EXPECT_EQ(resize_block(block, 12), block);
  EXPECT_EQ(test_heap::heap_calls(), 0u);
  trel::heap::release(block);
}

TEST_F(resize_block_test, WithoutSizeQueryEverySizeReallocates) {
  test_heap::emulate_block_size(false);
  void* block = trel::alloc_or_throw(12);
  test_heap::reset();
  block = resize_block(block, 12);
  EXPECT_EQ(test_heap::reallocations(), 1u);
  trel::heap::release(block);
}

TEST_F(resize_block_test, OtherSizeReallocatesKeepingBytes) {
  struct row {
    uint32_t from, to;
  };
  for (const row r : {row{4, 40}, row{40, 4}, row{1, 2}}) {
    SCOPED_TRACE(testing::Message() << r.from << " -> " << r.to);
    auto* block = static_cast<char*>(trel::alloc_or_throw(r.from));
    for (uint32_t i = 0; i < r.from; ++i) block[i] = static_cast<char>('a' + i % 26);
    auto* resized = static_cast<char*>(resize_block(block, r.to));
    EXPECT_EQ(size_of(resized), r.to);
    for (uint32_t i = 0; i < std::min(r.from, r.to); ++i) {
      EXPECT_EQ(resized[i], static_cast<char>('a' + i % 26)) << i;
    }
    trel::heap::release(resized);
  }
}

TEST_F(resize_block_test, HeapFailureThrowsAndKeepsTheOldBlock) {
  test_heap::fail_at(1);
  EXPECT_THROW(resize_block(nullptr, 5), std::bad_alloc);
  auto* block = static_cast<char*>(trel::alloc_or_throw(6));
  std::memcpy(block, "hello", 6);
  test_heap::fail_at(1);
  EXPECT_THROW(resize_block(block, 60), std::bad_alloc);
  EXPECT_TRUE(test_heap::armed_failure_fired());
  EXPECT_EQ(size_of(block), 6u);
  EXPECT_STREQ(block, "hello");
  trel::heap::release(block);
}

}  // namespace
