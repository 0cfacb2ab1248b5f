// The module's growable UTF-8 string, the implementation of string_base that
// the host writes into and reads from. The storage policy decides how a new
// buffer size reaches the heap; the growth rule, the self-source rule and the
// text operations are shared by both policies.
#pragma once

#include <stdint.h>
#include <string.h>
#include <new>

#include "trel/alloc_standard.h"
#include "trel/string_base.h"

namespace trel {

// What current_text shows for every empty string: one NUL in read-only storage.
inline constexpr char empty_text[1] = {0};

namespace string8_detail {

// A growing buffer takes this many spare bytes.
inline constexpr uint32_t growth_slack = 16;
// A buffer shrinks only when more than this many bytes would be spare.
inline constexpr uint32_t spare_limit = 32;

// The bytes of (text, length): up to the first NUL or length bytes, whichever
// comes first; a null text is empty.
inline uint32_t measure(const char* text, uint32_t length) {
  if (!text) return 0;
  uint32_t n = 0;
  while (n < length && text[n] != 0) ++n;
  return n;
}

// used + added text bytes plus the NUL; throws std::bad_alloc when that does
// not fit 32 bits.
inline uint32_t needed_bytes(uint32_t used, uint32_t added) {
  const uint64_t needed = uint64_t{used} + added + 1;
  if (needed > UINT32_MAX) throw std::bad_alloc();
  return static_cast<uint32_t>(needed);
}

}  // namespace string8_detail

template <class alloc_policy>
class string8_t final : public string_base {
 public:
  string8_t() = default;
  // The empty string, then assign_text(text, length); on failure nothing stays
  // allocated.
  string8_t(const char* text, uint32_t length) { assign_text(text, length); }
  string8_t(const string8_t&) = delete;
  string8_t& operator=(const string8_t&) = delete;
  ~string8_t() = default;

  void append_text(const char* text, uint32_t length) override {
    if (is_own_text(text, length)) {
      via_copy(&string_base::append_text, text, length);
      return;
    }
    const uint32_t n = string8_detail::measure(text, length);
    fit_buffer(string8_detail::needed_bytes(length_, n));
    char* block = storage_.block();
    if (n) memcpy(block + length_, text, n);
    length_ += n;
    block[length_] = 0;
  }

  const char* current_text() override { return length_ ? storage_.block() : empty_text; }

  void assign_text(const char* text, uint32_t length) override {
    if (is_own_text(text, length)) {
      via_copy(&string_base::assign_text, text, length);
      return;
    }
    const uint32_t n = string8_detail::measure(text, length);
    fit_buffer(string8_detail::needed_bytes(0, n));
    char* block = storage_.block();
    if (n) memcpy(block, text, n);
    length_ = n;
    block[n] = 0;
  }

  void shorten(uint32_t length) override {
    if (length >= length_) return;
    fit_buffer(length + 1);
    length_ = length;
    storage_.block()[length] = 0;
  }

  uint32_t text_length() override { return length_; }

  char* open_write_area(uint32_t n) override {
    fit_buffer(string8_detail::needed_bytes(0, n));
    memset(storage_.block(), 0, storage_.buffer_size());
    return storage_.block();
  }

  // The length becomes the bytes before the first NUL. An area filled to its
  // last byte without a NUL loses that byte to the NUL rather than reading on.
  void close_write_area() override {
    const uint32_t size = storage_.buffer_size();
    if (size == 0) {
      fit_buffer(1);
      storage_.block()[0] = 0;
      length_ = 0;
      return;
    }
    char* block = storage_.block();
    const void* nul = memchr(block, 0, size);
    const uint32_t n =
        nul ? static_cast<uint32_t>(static_cast<const char*>(nul) - block) : size - 1;
    block[n] = 0;
    fit_buffer(n + 1);
    length_ = n;
  }

  // The storage, for tests and checks to read.
  const alloc_policy& storage() const { return storage_; }

 private:
  // The growth rule: a buffer that is too small grows to needed plus slack; one
  // with more than spare_limit bytes to spare shrinks to needed. The policy
  // keeps the text bytes when the block moves, and changes nothing when the
  // heap fails.
  void fit_buffer(uint32_t needed) {
    const uint32_t size = storage_.buffer_size();
    if (size < needed) {
      if (needed > UINT32_MAX - string8_detail::growth_slack) throw std::bad_alloc();
      storage_.set_buffer_size(needed + string8_detail::growth_slack);
    } else if (size - needed > string8_detail::spare_limit) {
      storage_.set_buffer_size(needed);
    }
  }

  // A source inside this string's own buffer would move or be overwritten
  // while it is read.
  bool is_own_text(const char* text, uint32_t length) const {
    const char* block = storage_.block();
    if (length == 0 || !block || !text) return false;
    const auto at = reinterpret_cast<uintptr_t>(text);
    const auto start = reinterpret_cast<uintptr_t>(block);
    return at >= start && at - start < storage_.buffer_size();
  }

  // Runs the operation from a copy of the source; the copy is freed also when
  // the operation throws.
  void via_copy(void (string_base::*operation)(const char*, uint32_t), const char* text,
                uint32_t length) {
    string8_t<alloc_standard> copy(text, length);
    string_base& self = *this;
    (self.*operation)(copy.current_text(), until_nul);
  }

  alloc_policy storage_;
  uint32_t length_ = 0;
};

}  // namespace trel
