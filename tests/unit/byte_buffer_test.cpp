#include "trel/byte_buffer.h"

#include <cstring>
#include <new>

#include "support/test_heap.h"
#include "trel/heap.h"

namespace {

using byte_buffer_test = test_heap::heap_test;
using trel::byte_buffer;

void fill(byte_buffer& b) {
  for (uint32_t i = 0; i < b.size; ++i) b.bytes[i] = static_cast<uint8_t>(i * 7 + 1);
}

void expect_filled(const byte_buffer& b, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) ASSERT_EQ(b.bytes[i], static_cast<uint8_t>(i * 7 + 1)) << i;
}

TEST_F(byte_buffer_test, NewBufferHoldsNoBlock) {
  byte_buffer b;
  EXPECT_EQ(b.bytes, nullptr);
  EXPECT_EQ(b.capacity, 0u);
  EXPECT_EQ(b.size, 0u);
  EXPECT_EQ(test_heap::heap_calls(), 0u);
}

TEST_F(byte_buffer_test, CapacityDoublesFromOneAndNeverDecreases) {
  struct step {
    uint32_t count, capacity, allocations;
  };
  const step steps[] = {
      {0, 1, 1},   // a first block even for nothing
      {5, 8, 2},   // 1 -> 8 in one move
      {3, 8, 2},   // a shrink is free
      {8, 8, 2},   // growth within the capacity is free
      {9, 16, 3},  // one doubling
      {0, 16, 3},  //
      {100, 128, 4}, {65, 128, 4}, {129, 256, 5},
  };
  byte_buffer b;
  for (const step& s : steps) {
    SCOPED_TRACE(testing::Message() << "resize_used(" << s.count << ")");
    const uint32_t calls = test_heap::heap_calls();
    const uint32_t capacity = b.capacity;
    b.resize_used(s.count);
    if (b.capacity == capacity) {
      EXPECT_EQ(test_heap::heap_calls(), calls) << "no heap call within the capacity";
    }
    EXPECT_EQ(b.size, s.count);
    EXPECT_EQ(b.capacity, s.capacity);
    EXPECT_EQ(test_heap::allocations(), s.allocations);
    EXPECT_EQ(test_heap::reallocations(), 0u);
    uint32_t block = 0;
    ASSERT_TRUE(trel::heap::block_size(b.bytes, block));
    EXPECT_EQ(block, b.capacity);
  }
  b.free_block();
  EXPECT_EQ(b.bytes, nullptr);
  EXPECT_EQ(b.capacity, 0u);
  EXPECT_EQ(b.size, 0u);
}

TEST_F(byte_buffer_test, GrowthKeepsBytesBelowSmallerSize) {
  struct row {
    bool expand;
    uint32_t first, shrunk, grown;
  };
  for (const row r : {row{false, 20, 20, 100}, row{false, 20, 6, 100}, row{true, 20, 6, 40},
                      row{true, 20, 20, 200}}) {
    SCOPED_TRACE(testing::Message()
                 << "expand " << r.expand << " " << r.first << "/" << r.shrunk << "/" << r.grown);
    test_heap::emulate_expand(r.expand);
    byte_buffer b;
    b.resize_used(r.first);
    fill(b);
    b.resize_used(r.shrunk);
    b.resize_used(r.grown);
    expect_filled(b, r.shrunk);
    std::memset(b.bytes, 0, b.capacity);  // the whole block is there
  }
}

TEST_F(byte_buffer_test, GrowthExtendsInPlaceFirst) {
  test_heap::emulate_expand(true);
  byte_buffer b;
  b.resize_used(16);
  uint8_t* const block = b.bytes;
  b.resize_used(32);  // the test heap reserves as much again: fits
  EXPECT_EQ(b.bytes, block);
  EXPECT_EQ(b.capacity, 32u);
  EXPECT_EQ(test_heap::expansions(), 1u);
  EXPECT_EQ(test_heap::allocations(), 1u);
  b.resize_used(1000);  // beyond the reserve: moves
  EXPECT_NE(b.bytes, block);
  EXPECT_EQ(b.capacity, 1024u);
  EXPECT_EQ(test_heap::expansions(), 2u);
  EXPECT_EQ(test_heap::allocations(), 2u);
  EXPECT_EQ(test_heap::releases(), 1u);
}

TEST_F(byte_buffer_test, CountAboveTwoToThe31ThrowsAndKeepsBuffer) {
  byte_buffer b;
  b.resize_used(5);
  fill(b);
  uint8_t* const block = b.bytes;
  test_heap::reset();
  for (uint32_t count : {0x80000001u, 0xFFFFFFFFu}) {
    EXPECT_THROW(b.resize_used(count), std::bad_alloc);
    EXPECT_EQ(b.bytes, block);
    EXPECT_EQ(b.capacity, 8u);
    EXPECT_EQ(b.size, 5u);
    expect_filled(b, 5);
  }
  EXPECT_EQ(test_heap::heap_calls(), 0u);

  byte_buffer empty;
  EXPECT_THROW(empty.resize_used(0x80000001u), std::bad_alloc);
  EXPECT_EQ(empty.bytes, nullptr);
  EXPECT_EQ(test_heap::heap_calls(), 0u);
}

TEST_F(byte_buffer_test, FailedGrowthLeavesBufferUnchanged) {
  struct row {
    bool expand;
    uint32_t start, count;       // start 0: no block yet
    uint32_t throwing_failures;  // a failed in-place extension falls back and is no error
  };
  for (const row r : {row{false, 0, 0, 1}, row{false, 0, 70, 1}, row{false, 5, 70, 1},
                      row{true, 5, 70, 1}, row{true, 100, 200, 0}}) {
    SCOPED_TRACE(testing::Message()
                 << "expand " << r.expand << " " << r.start << " -> " << r.count);
    test_heap::emulate_expand(r.expand);
    uint32_t throws = 0;
    test_heap::for_each_failure([&](uint32_t) {
      byte_buffer b;
      {
        test_heap::unfailing setup;
        if (r.start) {
          b.resize_used(r.start);
          fill(b);
        }
      }
      uint8_t* const block = b.bytes;
      const uint32_t capacity = b.capacity;
      try {
        b.resize_used(r.count);
      } catch (const std::bad_alloc&) {
        ++throws;
        EXPECT_EQ(b.bytes, block);
        EXPECT_EQ(b.capacity, capacity);
        EXPECT_EQ(b.size, r.start);
        expect_filled(b, r.start);
        return;
      }
      EXPECT_EQ(b.size, r.count);
      EXPECT_GE(b.capacity, r.count);
      expect_filled(b, r.start);
    });
    EXPECT_EQ(throws, r.throwing_failures);
  }
}

TEST_F(byte_buffer_test, DestructionFreesBlock) {
  const uint32_t blocks = test_heap::live_blocks();
  {
    byte_buffer b;
    b.resize_used(3);
    EXPECT_EQ(test_heap::live_blocks(), blocks + 1);
  }
  EXPECT_EQ(test_heap::live_blocks(), blocks);
  byte_buffer never_grown;
  never_grown.free_block();
  EXPECT_EQ(test_heap::heap_calls(), 2u) << "freeing an empty buffer calls nothing";
}

}  // namespace
