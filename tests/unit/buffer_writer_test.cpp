#include "settings/buffer_writer.h"

#include <cstring>
#include <new>
#include <string>

#include "support/test_heap.h"

namespace {

using buffer_writer_test = test_heap::heap_test;

std::string contents(const trel::byte_buffer& buffer) {
  return std::string(reinterpret_cast<const char*>(buffer.bytes), buffer.size);
}

TEST_F(buffer_writer_test, AppendsAtTheOldSize) {
  trel::byte_buffer buffer;
  buffer_writer writer(buffer);
  abort_signal abort;
  writer.write("abc", 3, abort);
  EXPECT_EQ(contents(buffer), "abc");
  EXPECT_EQ(buffer.capacity, 4u);
  writer.write("defgh", 5, abort);
  EXPECT_EQ(contents(buffer), "abcdefgh");
  EXPECT_EQ(buffer.capacity, 8u);
  writer.write("", 0, abort);
  EXPECT_EQ(contents(buffer), "abcdefgh");
  writer.write("i", 1, abort);
  EXPECT_EQ(contents(buffer), "abcdefghi");
  EXPECT_EQ(buffer.capacity, 16u);
}

TEST_F(buffer_writer_test, SizePastFourGigabytesThrowsBadAlloc) {
  // A size near the 32-bit limit cannot be reached for real; the fields are
  // set by hand and restored, and the check comes before any heap call.
  trel::byte_buffer buffer;
  buffer_writer writer(buffer);
  abort_signal abort;
  buffer.size = UINT32_MAX - 2;
  EXPECT_THROW(writer.write("abc", 3, abort), std::bad_alloc);
  EXPECT_EQ(buffer.size, UINT32_MAX - 2);
  EXPECT_EQ(test_heap::heap_calls(), 0u);
  buffer.size = 0;
}

TEST_F(buffer_writer_test, HeapFailureLeavesTheBufferUnchanged) {
  for (const bool expand : {false, true}) {
    SCOPED_TRACE(expand ? "in-place growth" : "no in-place growth");
    test_heap::emulate_expand(expand);
    uint32_t failed_writes = 0;
    test_heap::for_each_failure([&](uint32_t k) {
      trel::byte_buffer buffer;
      buffer_writer writer(buffer);
      abort_signal abort;
      {
        const test_heap::unfailing setup;
        writer.write("abc", 3, abort);
      }
      const uint8_t* bytes = buffer.bytes;
      const std::string more(40, 'x');
      // A failed in-place growth falls back to a fresh block and succeeds.
      try {
        writer.write(more.data(), 40, abort);
        EXPECT_EQ(contents(buffer), "abc" + more);
        return;
      } catch (const std::bad_alloc&) {
        EXPECT_NE(k, 0u);
        ++failed_writes;
      }
      EXPECT_EQ(buffer.bytes, bytes);
      EXPECT_EQ(buffer.capacity, 4u);
      EXPECT_EQ(contents(buffer), "abc");
    });
    // Without in-place growth the fresh block's allocation is the call that fails.
    if (!expand) {
      EXPECT_EQ(failed_writes, 1u);
    }
  }
}

}  // namespace
