#include "entry/simple_string.h"

#include <cstring>
#include <new>
#include <string>

#include "support/test_heap.h"
#include "trel/heap.h"

namespace {

using simple_string_test = test_heap::heap_test;

uint32_t block_bytes(const simple_string& s) {
  uint32_t size = 0;
  EXPECT_TRUE(trel::heap::block_size(s.block(), size));
  return size;
}

TEST_F(simple_string_test, StartsEmptyWithoutBlock) {
  const simple_string s;
  EXPECT_EQ(s.block(), nullptr);
  EXPECT_STREQ(s.text(), "");
}

TEST_F(simple_string_test, HoldsExactlyLengthPlusOneBytes) {
  for (const char* text : {"abc", "a", "a longer text of forty bytes, or so ..."}) {
    SCOPED_TRACE(text);
    simple_string s;
    s.assign_text(text);
    EXPECT_STREQ(s.text(), text);
    EXPECT_EQ(block_bytes(s), std::strlen(text) + 1);
  }
}

TEST_F(simple_string_test, EmptyOrNullTextFreesTheBlock) {
  for (const char* text : {"", static_cast<const char*>(nullptr)}) {
    simple_string s;
    s.assign_text("abc");
    const uint32_t blocks = test_heap::live_blocks();
    s.assign_text(text);
    EXPECT_EQ(s.block(), nullptr);
    EXPECT_STREQ(s.text(), "");
    EXPECT_EQ(test_heap::live_blocks(), blocks - 1);
  }
}

TEST_F(simple_string_test, SameLengthReusesTheBlockWithoutHeapCall) {
  simple_string s;
  s.assign_text("abc");
  const char* block = s.block();
  test_heap::reset();
  s.assign_text("xyz");
  EXPECT_EQ(s.block(), block);
  EXPECT_EQ(test_heap::heap_calls(), 0u);
  EXPECT_STREQ(s.text(), "xyz");
}

TEST_F(simple_string_test, AssignFromOwnTextGivesThatTail) {
  const std::string original = "location of the thing";
  for (size_t offset = 0; offset <= original.size(); ++offset) {
    SCOPED_TRACE(offset);
    simple_string s;
    s.assign_text(original.c_str());
    s.assign_text(s.block() + offset);
    EXPECT_STREQ(s.text(), original.c_str() + offset);
    if (offset < original.size()) {
      EXPECT_EQ(block_bytes(s), original.size() - offset + 1);
    } else {
      EXPECT_EQ(s.block(), nullptr);
    }
  }
}

TEST_F(simple_string_test, AssignFromOwnTextCopiesFirstAndFreesTheCopy) {
  simple_string s;
  s.assign_text("abcdef");
  const uint32_t blocks = test_heap::live_blocks();
  test_heap::reset();
  s.assign_text(s.block() + 2);
  EXPECT_EQ(test_heap::allocations(), 1u);
  EXPECT_EQ(test_heap::reallocations(), 1u);
  EXPECT_EQ(test_heap::releases(), 1u);
  EXPECT_EQ(test_heap::live_blocks(), blocks);
  EXPECT_STREQ(s.text(), "cdef");
}

TEST_F(simple_string_test, DestructionFreesTheBlock) {
  const uint32_t blocks = test_heap::live_blocks();
  {
    simple_string s;
    s.assign_text("abc");
    EXPECT_EQ(test_heap::live_blocks(), blocks + 1);
  }
  EXPECT_EQ(test_heap::live_blocks(), blocks);
}

TEST_F(simple_string_test, HeapFailureKeepsThePreviousText) {
  struct row {
    const char* before;
    const char* after;
    size_t own_offset;  // npos: assign from after; otherwise from own text at offset
  };
  const size_t from_after = std::string::npos;
  for (const row r : {row{"", "fresh", from_after}, row{"old", "a longer text", from_after},
                      row{"a longer text", "short", from_after}, row{"abcdefgh", nullptr, 3},
                      row{"abcdefgh", nullptr, 0}}) {
    SCOPED_TRACE(r.before);
    test_heap::for_each_failure([&](uint32_t k) {
      simple_string s;
      {
        const test_heap::unfailing setup;
        s.assign_text(r.before);
      }
      const char* block = s.block();
      const std::string expected = r.own_offset == from_after ? r.after : r.before + r.own_offset;
      const char* source = r.own_offset == from_after ? r.after : s.block() + r.own_offset;
      if (k == 0) {
        s.assign_text(source);
        EXPECT_EQ(s.text(), expected);
      } else {
        EXPECT_THROW(s.assign_text(source), std::bad_alloc);
        EXPECT_EQ(s.block(), block);
        EXPECT_STREQ(s.text(), r.before);
      }
    });
  }
}

}  // namespace
