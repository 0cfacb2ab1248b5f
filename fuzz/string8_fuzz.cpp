// Random operation sequences on strings of both policies, checked after every
// step against a plain model: the text and length against a std::string, the
// buffer size against the growth rule applied by hand, and for the doubling
// policy the capacity that doubling from 1 reaches, which never decreases.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "trel/alloc_fast_aggressive.h"
#include "trel/string8_t.h"

namespace {

// Reads the fuzzer's bytes as operation codes and arguments; zeros once used up.
class input final {
 public:
  input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool done() const { return at_ >= size_; }
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t number(uint32_t limit) {
    const uint32_t v = byte() | uint32_t{byte()} << 8;
    return v % (limit + 1);
  }
  std::string bytes(uint32_t n) {
    std::string s;
    while (n-- > 0 && !done()) s += static_cast<char>(byte());
    return s;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "string8 fuzz: %s\n", what);
  std::abort();
}

void check(bool ok, const char* what) {
  if (!ok) fail(what);
}

// The longest text a string may reach by appending its own text.
constexpr size_t max_text = 1 << 16;

// A source length argument: exact, one of the edge values, or random.
uint32_t length_argument(input& in, uint32_t size) {
  switch (in.byte() % 4) {
    case 0:
      return size;
    case 1:
      return trel::until_nul;
    case 2:
      return 0;
    default:
      return in.number(size + 8);
  }
}

// The model's view of a source (text, length).
std::string source(const char* text, uint32_t length) {
  std::string s;
  if (!text) return s;
  for (uint32_t i = 0; i < length && text[i] != 0; ++i) s += text[i];
  return s;
}

template <class P>
class runner final {
 public:
  void step(input& in) {
    switch (in.byte() % 7) {
      case 0:
      case 1: {  // assign or append from outside
        const bool append = in.byte() & 1;
        const std::string text = in.bytes(in.number(300));
        const uint32_t length = length_argument(in, static_cast<uint32_t>(text.size()));
        const std::string src = source(text.c_str(), length);
        fit(append ? model_.size() + src.size() + 1 : src.size() + 1);
        if (append) {
          s_.append_text(text.c_str(), length);
          model_ += src;
        } else {
          s_.assign_text(text.c_str(), length);
          model_ = src;
        }
        break;
      }
      case 2: {  // assign or append from the string's own text
        // Appending a string to itself doubles it; past max_text it assigns
        // instead, so a run of such steps cannot exhaust memory.
        const bool append = (in.byte() & 1) && model_.size() < max_text;
        const uint32_t offset = in.number(static_cast<uint32_t>(model_.size()));
        const char* text = s_.current_text() + offset;
        const uint32_t length = length_argument(in, static_cast<uint32_t>(model_.size() - offset));
        const std::string src = source(text, length);
        fit(append ? model_.size() + src.size() + 1 : src.size() + 1);
        if (append) {
          s_.append_text(text, length);
          model_ += src;
        } else {
          s_.assign_text(text, length);
          model_ = src;
        }
        break;
      }
      case 3: {
        const uint32_t n = in.number(static_cast<uint32_t>(model_.size()) + 4);
        s_.shorten(n);
        if (n < model_.size()) {
          model_.resize(n);
          fit(n + 1);
        }
        break;
      }
      case 4: {  // a write area filled with up to n bytes, NULs included
        const uint32_t n = in.number(600);
        char* area = s_.open_write_area(n);
        fit(n + 1);
        check(s_.storage().buffer_size() == buffer_size_, "write area of the wrong size");
        for (uint32_t i = 0; i < s_.storage().buffer_size(); ++i) {
          check(area[i] == 0, "write area not zeroed");
        }
        const std::string written = in.bytes(in.number(n));
        std::memcpy(area, written.data(), written.size());
        s_.close_write_area();
        model_ = source(written.c_str(), trel::until_nul);
        fit(model_.size() + 1);
        break;
      }
      case 5:
        s_.assign_text(nullptr, length_argument(in, 0));
        model_.clear();
        fit(1);
        break;
      default:
        s_.append_text(nullptr, length_argument(in, 0));
        fit(model_.size() + 1);
        break;
    }
    verify();
  }

  bool changed() const { return s_.storage().block() != nullptr; }

 private:
  // The growth rule on the model's buffer size: 16 bytes of slack when it is
  // too small, down to needed when more than 32 bytes would be spare.
  void fit(size_t needed) {
    if (buffer_size_ < needed) {
      buffer_size_ = needed + 16;
    } else if (buffer_size_ > needed + 32) {
      buffer_size_ = needed;
    }
    if (capacity_ == 0) capacity_ = 1;
    while (capacity_ < buffer_size_) capacity_ *= 2;
  }

  void verify() {
    const P& st = s_.storage();
    check(s_.text_length() == model_.size(), "length differs from the model");
    const char* text = s_.current_text();
    check(text != nullptr, "null text");
    check(std::memcmp(text, model_.c_str(), model_.size() + 1) == 0, "text differs from the model");
    if (model_.empty()) check(text == trel::empty_text, "empty string not on the static text");
    if (!changed()) return;
    const uint64_t needed = model_.size() + 1;
    check(st.buffer_size() >= needed, "buffer smaller than needed");
    check(st.buffer_size() <= needed + 32, "buffer more than 32 bytes too large");
    check(st.buffer_size() == buffer_size_, "buffer size differs from the growth rule");
    if constexpr (std::is_same_v<P, trel::alloc_fast_aggressive>) {
      check(st.capacity() == capacity_, "capacity differs from doubling");
    }
  }

  trel::string8_t<P> s_;
  std::string model_;
  size_t buffer_size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Both policies see the same operations from the same bytes.
  input a(data, size);
  input b(data, size);
  runner<trel::alloc_standard> standard;
  runner<trel::alloc_fast_aggressive> fast;
  while (!a.done()) {
    standard.step(a);
    fast.step(b);
  }
  return 0;
}
