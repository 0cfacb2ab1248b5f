#include "trel/string8_t.h"

#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "support/test_heap.h"
#include "trel/alloc_fast_aggressive.h"
#include "trel/heap.h"

namespace {

using trel::alloc_fast_aggressive;
using trel::alloc_standard;
using trel::string8_t;
using trel::until_nul;

template <class P>
class string8_t_test : public test_heap::heap_test {};

using policies = ::testing::Types<alloc_standard, alloc_fast_aggressive>;

struct policy_names {
  template <class P>
  static std::string GetName(int) {
    return std::is_same_v<P, alloc_standard> ? "standard" : "fast_aggressive";
  }
};

TYPED_TEST_SUITE(string8_t_test, policies, policy_names);

template <class P>
constexpr bool is_fast = std::is_same_v<P, alloc_fast_aggressive>;

// Everything a failed operation must leave as it was.
struct snapshot {
  std::string buffer;  // all buffer-size bytes
  uint32_t length;
  uint32_t buffer_size;
  uint32_t capacity;
  const char* block;

  bool operator==(const snapshot& o) const {
    return buffer == o.buffer && length == o.length && buffer_size == o.buffer_size &&
           capacity == o.capacity && block == o.block;
  }
};

template <class P>
snapshot take(string8_t<P>& s) {
  const P& st = s.storage();
  return {st.block() ? std::string(st.block(), st.buffer_size()) : std::string(), s.text_length(),
          st.buffer_size(), st.capacity(), st.block()};
}

// The invariants every changed string holds: text and length agree, the
// buffer lies within 32 bytes above needed, and the policy's block matches.
template <class P>
void expect_sound(string8_t<P>& s, const std::string& text) {
  const P& st = s.storage();
  ASSERT_NE(st.block(), nullptr);
  EXPECT_EQ(s.text_length(), text.size());
  EXPECT_EQ(std::string(s.current_text()), text);
  const uint32_t needed = static_cast<uint32_t>(text.size()) + 1;
  EXPECT_GE(st.buffer_size(), needed);
  EXPECT_LE(st.buffer_size(), needed + 32);
  if (text.empty()) {
    EXPECT_EQ(s.current_text(), trel::empty_text);
  }
  uint32_t block_size = 0;
  if (trel::heap::block_size(st.block(), block_size)) {
    EXPECT_EQ(block_size, st.capacity());
  }
  if constexpr (is_fast<P>) {
    EXPECT_GE(st.capacity(), st.buffer_size());
    EXPECT_EQ(st.capacity() & (st.capacity() - 1), 0u) << "capacity a power of two";
  } else {
    EXPECT_EQ(st.capacity(), st.buffer_size());
  }
}

std::string letters(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>('a' + i % 26);
  return s;
}

struct heap_kind {
  bool block_size, expand;
};
constexpr heap_kind heap_kinds[] = {{true, false}, {false, false}, {true, true}, {false, true}};

void use(const heap_kind& kind) {
  test_heap::emulate_block_size(kind.block_size);
  test_heap::emulate_expand(kind.expand);
}

TYPED_TEST(string8_t_test, NewStringHasNoBlock) {
  string8_t<TypeParam> s;
  EXPECT_EQ(s.text_length(), 0u);
  EXPECT_EQ(s.current_text(), trel::empty_text);
  EXPECT_EQ(s.storage().block(), nullptr);
  EXPECT_EQ(s.storage().buffer_size(), 0u);
  EXPECT_EQ(test_heap::heap_calls(), 0u);
}

TYPED_TEST(string8_t_test, GrowsWithSixteenBytesOfSlackAsInWorkedExample) {
  const std::string t100 = letters(100);
  struct step {
    const char* name;
    std::function<void(string8_t<TypeParam>&)> op;
    std::string text;
    uint32_t standard_size, fast_size, fast_capacity;
    bool fast_makes_no_heap_call;
  };
  const std::vector<step> steps = {
      {"assign 3", [](auto& s) { s.assign_text("abc", until_nul); }, "abc", 20, 20, 32, false},
      {"append 10", [](auto& s) { s.append_text("0123456789", until_nul); }, "abc0123456789", 20,
       20, 32, true},
      {"assign 100", [&](auto& s) { s.assign_text(t100.c_str(), 100); }, t100, 117, 117, 128,
       false},
      {"assign 1", [](auto& s) { s.assign_text("z", 1); }, "z", 2, 2, 128, true},
      {"shorten 0", [](auto& s) { s.shorten(0); }, "", 2, 2, 128, true},
  };
  for (const heap_kind& kind : heap_kinds) {
    SCOPED_TRACE(testing::Message()
                 << "block size " << kind.block_size << " expand " << kind.expand);
    use(kind);
    string8_t<TypeParam> s;
    for (const step& st : steps) {
      SCOPED_TRACE(st.name);
      const uint32_t calls = test_heap::heap_calls();
      st.op(s);
      expect_sound(s, st.text);
      if constexpr (is_fast<TypeParam>) {
        EXPECT_EQ(s.storage().buffer_size(), st.fast_size);
        EXPECT_EQ(s.storage().capacity(), st.fast_capacity);
        if (st.fast_makes_no_heap_call) {
          EXPECT_EQ(test_heap::heap_calls(), calls);
        }
      } else {
        EXPECT_EQ(s.storage().buffer_size(), st.standard_size);
      }
    }
    char* area = s.open_write_area(40);
    const uint32_t size = s.storage().buffer_size();
    EXPECT_EQ(size, 57u);
    EXPECT_EQ(s.storage().capacity(), is_fast<TypeParam> ? 128u : 57u);
    EXPECT_EQ(std::string(area, size), std::string(size, '\0'));
  }
}

TYPED_TEST(string8_t_test, EmptySourceStillFitsTheBuffer) {
  struct row {
    const char* name;
    std::function<void(string8_t<TypeParam>&)> op;
  };
  const row rows[] = {
      {"assign length 0", [](auto& s) { s.assign_text("abc", 0); }},
      {"assign null", [](auto& s) { s.assign_text(nullptr, until_nul); }},
      {"append null", [](auto& s) { s.append_text(nullptr, 5); }},
      {"append empty text", [](auto& s) { s.append_text("", until_nul); }},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    string8_t<TypeParam> s;
    r.op(s);
    expect_sound(s, "");
    EXPECT_EQ(s.storage().buffer_size(), 17u);
    EXPECT_EQ(s.storage().capacity(), is_fast<TypeParam> ? 32u : 17u);
  }
}

TYPED_TEST(string8_t_test, SourceEndsAtNulOrLength) {
  struct row {
    const char* start;  // assigned first, null: new string
    bool append;
    const char* text;
    uint32_t length;
    std::string expected;
  };
  const row rows[] = {
      {nullptr, false, "abcdef", 3, "abc"},   {nullptr, false, "ab\0cd", 5, "ab"},
      {nullptr, false, "abc", 100, "abc"},    {nullptr, false, "abc", until_nul, "abc"},
      {"xyz", false, nullptr, until_nul, ""}, {"xyz", false, "abc", 0, ""},
      {"xy", true, "abcdef", 3, "xyabc"},     {"xy", true, "a\0bc", until_nul, "xya"},
      {"xy", true, nullptr, 5, "xy"},         {"xy", true, "abc", 0, "xy"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << (r.start ? r.start : "(new)") << (r.append ? " += " : " = ")
                                    << (r.text ? r.text : "(null)") << "," << r.length);
    string8_t<TypeParam> s;
    if (r.start) s.assign_text(r.start, until_nul);
    if (r.append) {
      s.append_text(r.text, r.length);
    } else {
      s.assign_text(r.text, r.length);
    }
    expect_sound(s, r.expected);
  }
}

TYPED_TEST(string8_t_test, ConstructsFromTextAndLength) {
  string8_t<TypeParam> s("abcdef", 4);
  expect_sound(s, "abcd");
  string8_t<TypeParam> empty(nullptr, until_nul);
  expect_sound(empty, "");
}

TYPED_TEST(string8_t_test, OwnTextAsSourceIsCopiedFirst) {
  const std::string long_text = letters(30);  // appended to itself it outgrows its buffer
  struct row {
    const char* name;
    std::string start;
    bool append;
    uint32_t offset;
    uint32_t length;
    std::string expected;
  };
  const row rows[] = {
      {"assign own tail", "abcdef", false, 2, until_nul, "cdef"},
      {"append own text", "ab", true, 0, until_nul, "abab"},
      {"assign own text", "abcdef", false, 0, until_nul, "abcdef"},
      {"assign own middle", "abcdef", false, 3, 2, "de"},
      {"append own middle", "abcdef", true, 1, 2, "abcdefbc"},
      {"assign own NUL", "abc", false, 3, until_nul, ""},
      {"append own NUL", "abc", true, 3, until_nul, "abc"},
      {"append own text growing", long_text, true, 0, until_nul, long_text + long_text},
      {"append own tail growing", long_text, true, 10, until_nul, long_text + long_text.substr(10)},
  };
  for (const heap_kind& kind : heap_kinds) {
    use(kind);
    for (const row& r : rows) {
      SCOPED_TRACE(testing::Message()
                   << r.name << ", block size " << kind.block_size << " expand " << kind.expand);
      string8_t<TypeParam> s;
      s.assign_text(r.start.c_str(), until_nul);
      const uint32_t blocks = test_heap::live_blocks();
      const char* source = s.storage().block() + r.offset;
      if (r.append) {
        s.append_text(source, r.length);
      } else {
        s.assign_text(source, r.length);
      }
      expect_sound(s, r.expected);
      EXPECT_EQ(test_heap::live_blocks(), blocks) << "the copy is freed";
    }
  }
}

TYPED_TEST(string8_t_test, WriteAreaSourceIsOwnText) {
  string8_t<TypeParam> s;
  char* area = s.open_write_area(10);
  std::memcpy(area, "hello", 5);
  s.assign_text(area + 1, 3);  // the open area's bytes are the string's own
  expect_sound(s, "ell");
}

TYPED_TEST(string8_t_test, ShortenOnlyCuts) {
  struct row {
    uint32_t start_length, shorten_to;
    bool changes;
  };
  const row rows[] = {{6, 6, false}, {6, 10, false}, {6, 2, true},
                      {6, 0, true},  {100, 1, true}, {0, 0, false}};
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.start_length << " -> " << r.shorten_to);
    string8_t<TypeParam> s;
    const std::string text = letters(r.start_length);
    s.assign_text(text.c_str(), until_nul);
    const snapshot before = take(s);
    const uint32_t calls = test_heap::heap_calls();
    s.shorten(r.shorten_to);
    if (!r.changes) {
      EXPECT_TRUE(take(s) == before) << "nothing changes, not even the buffer";
      EXPECT_EQ(test_heap::heap_calls(), calls);
      continue;
    }
    expect_sound(s, text.substr(0, r.shorten_to));
    EXPECT_EQ(s.storage().buffer_size(),
              before.buffer_size > r.shorten_to + 33 ? r.shorten_to + 1 : before.buffer_size);
    if (is_fast<TypeParam>) {
      EXPECT_EQ(test_heap::heap_calls(), calls);
    }
  }
}

TYPED_TEST(string8_t_test, WriteAreaIsZeroedAndClosesAtFirstNul) {
  struct row {
    const char* name;
    const char* start;  // null: a new string
    uint32_t n;
    std::string written;  // bytes the caller writes, from the start of the area
    std::string expected;
  };
  const row rows[] = {
      {"hello into abc", "abc", 10, "hello", "hello"},
      {"hello with NUL", "abc", 10, std::string("hello\0xy", 8), "hello"},
      {"exactly n bytes", nullptr, 4, "wxyz", "wxyz"},
      {"nothing written", "abc", 10, "", ""},
      {"shrinks on close", nullptr, 100, "hi", "hi"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    string8_t<TypeParam> s;
    if (r.start) s.assign_text(r.start, until_nul);
    char* area = s.open_write_area(r.n);
    const uint32_t size = s.storage().buffer_size();
    ASSERT_GE(size, r.n + 1);
    EXPECT_EQ(std::string(area, size), std::string(size, '\0'));
    std::memcpy(area, r.written.data(), r.written.size());
    s.close_write_area();
    expect_sound(s, r.expected);
  }
}

TYPED_TEST(string8_t_test, FullWriteAreaLosesLastByteToNul) {
  string8_t<TypeParam> s;
  char* area = s.open_write_area(3);
  const uint32_t size = s.storage().buffer_size();
  std::memset(area, 'q', size);
  s.close_write_area();
  expect_sound(s, std::string(size - 1, 'q'));
}

TYPED_TEST(string8_t_test, CloseWithoutAreaOnNewStringIsEmpty) {
  string8_t<TypeParam> s;
  s.close_write_area();
  expect_sound(s, "");
}

TEST(string8_t_needed, SizesThatOverflowThrow) {
  struct row {
    uint32_t used, added;
    bool overflows;
  };
  const row rows[] = {{0, 0, false},
                      {3, 10, false},
                      {0xFFFFFFFEu, 0, false},
                      {0, 0xFFFFFFFEu, false},
                      {0xFFFFFFFFu, 0, true},
                      {0, 0xFFFFFFFFu, true},
                      {0x80000000u, 0x7FFFFFFFu, true},
                      {0xFFFFFFFFu, 0xFFFFFFFFu, true}};
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.used << " + " << r.added);
    if (r.overflows) {
      EXPECT_THROW(trel::string8_detail::needed_bytes(r.used, r.added), std::bad_alloc);
    } else {
      EXPECT_EQ(trel::string8_detail::needed_bytes(r.used, r.added),
                uint64_t{r.used} + r.added + 1);
    }
  }
}

TYPED_TEST(string8_t_test, HugeWriteAreaThrowsBeforeAnythingChanges) {
  // All ones wraps n + 1 to 0; the next two wrap needed + 16; the last fits 32
  // bits but no heap has that much.
  for (uint32_t n : {0xFFFFFFFFu, 0xFFFFFFF0u, 0xFFFFFFEFu, 0xFFFFFFEEu}) {
    SCOPED_TRACE(n);
    string8_t<TypeParam> s("abc", until_nul);
    const snapshot before = take(s);
    const uint32_t calls = test_heap::heap_calls();
    EXPECT_THROW(s.open_write_area(n), std::bad_alloc);
    EXPECT_TRUE(take(s) == before);
    if (n >= 0xFFFFFFEFu || is_fast<TypeParam>) {
      EXPECT_EQ(test_heap::heap_calls(), calls);
    }
  }
}

// Every operation under every failing heap call: either it works, or it
// throws std::bad_alloc and leaves content, length, buffer size, capacity and
// block as they were. A failed in-place extension is no error, so some
// failures are absorbed; at least one must reach the caller.
TYPED_TEST(string8_t_test, AllocationFailureChangesNothing) {
  using str = string8_t<TypeParam>;
  const std::string t30 = letters(30);
  const std::string t100 = letters(100);
  struct row {
    const char* name;
    std::string start;  // empty: a new string
    std::function<void(str&)> op;
    std::string expected;
    bool fast_heap_free = false;  // the fast policy shrinks without the heap
  };
  const std::vector<row> rows = {
      {"assign to new", "", [](str& s) { s.assign_text("abc", until_nul); }, "abc"},
      {"assign growing", "abc", [&](str& s) { s.assign_text(t100.c_str(), until_nul); }, t100},
      {"assign shrinking", t100, [](str& s) { s.assign_text("a", until_nul); }, "a", true},
      {"append to new", "", [](str& s) { s.append_text(nullptr, 0); }, ""},
      {"append growing", "abc", [&](str& s) { s.append_text(t100.c_str(), 50); },
       "abc" + t100.substr(0, 50)},
      {"shorten shrinking", t100, [](str& s) { s.shorten(3); }, "abc", true},
      {"assign own tail", t30, [](str& s) { s.assign_text(s.current_text() + 2, until_nul); },
       t30.substr(2)},
      {"append own text", t30, [](str& s) { s.append_text(s.current_text(), until_nul); },
       t30 + t30},
      {"append own head", t30, [](str& s) { s.append_text(s.current_text(), 2); }, t30 + "ab"},
      {"close on new", "", [](str& s) { s.close_write_area(); }, ""},
  };
  for (const heap_kind& kind : heap_kinds) {
    use(kind);
    for (const row& r : rows) {
      SCOPED_TRACE(testing::Message()
                   << r.name << ", block size " << kind.block_size << " expand " << kind.expand);
      if (is_fast<TypeParam> && r.fast_heap_free) {
        str s(r.start.c_str(), until_nul);
        test_heap::fail_all(true);
        r.op(s);
        test_heap::fail_all(false);
        expect_sound(s, r.expected);
        continue;
      }
      uint32_t throws = 0;
      test_heap::for_each_failure([&](uint32_t) {
        str s;
        {
          test_heap::unfailing setup;
          if (!r.start.empty()) s.assign_text(r.start.c_str(), until_nul);
        }
        const snapshot before = take(s);
        try {
          r.op(s);
        } catch (const std::bad_alloc&) {
          ++throws;
          EXPECT_TRUE(take(s) == before);
          return;
        }
        expect_sound(s, r.expected);
      });
      EXPECT_GT(throws, 0u);
    }
  }
}

// The write area's own failure points: growing it, and shrinking it on close.
TYPED_TEST(string8_t_test, FailedWriteAreaCallsChangeNothing) {
  using str = string8_t<TypeParam>;
  for (const heap_kind& kind : heap_kinds) {
    use(kind);
    SCOPED_TRACE(testing::Message()
                 << "block size " << kind.block_size << " expand " << kind.expand);
    uint32_t throws = 0;
    test_heap::for_each_failure([&](uint32_t) {
      str s;
      {
        test_heap::unfailing setup;
        s.assign_text("abc", until_nul);
      }
      const snapshot before = take(s);
      try {
        s.open_write_area(200);
      } catch (const std::bad_alloc&) {
        ++throws;
        EXPECT_TRUE(take(s) == before);
      }
    });
    EXPECT_GT(throws, 0u);

    str s;
    std::memcpy(s.open_write_area(200), "hi", 2);
    if constexpr (is_fast<TypeParam>) {
      test_heap::fail_all(true);
      s.close_write_area();  // shrinking makes no heap call
      test_heap::fail_all(false);
      expect_sound(s, "hi");
      continue;
    }
    const snapshot open = take(s);
    throws = 0;
    test_heap::for_each_failure([&](uint32_t) {
      str t;
      {
        test_heap::unfailing setup;
        std::memcpy(t.open_write_area(200), "hi", 2);
      }
      const snapshot before = take(t);
      try {
        t.close_write_area();
      } catch (const std::bad_alloc&) {
        ++throws;
        EXPECT_TRUE(take(t) == before);
        return;
      }
      expect_sound(t, "hi");
    });
    EXPECT_GT(throws, 0u) << "the exact-size block shrinks on close";
    EXPECT_EQ(open.buffer_size, 217u);
  }
}

TYPED_TEST(string8_t_test, FailedConstructionLeavesNothingAllocated) {
  test_heap::for_each_failure([](uint32_t k) {
    if (k == 0) {
      string8_t<TypeParam> s("abc", until_nul);
      expect_sound(s, "abc");
      return;
    }
    EXPECT_THROW(string8_t<TypeParam>("abc", until_nul), std::bad_alloc);
  });
}

}  // namespace
