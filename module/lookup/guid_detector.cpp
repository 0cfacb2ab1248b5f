#include "lookup/guid_detector.h"

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "lookup/hex_digit.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the block scan locates bytes by their order in a little-endian word"
#endif

// An attempt at a run of hex digits can only succeed when the whole run fits the
// first group (a longer run puts a digit where the dash must be) and a dash follows
// it. So the only runs worth an attempt end just before a dash, and the runs are met
// in the order of their dashes: the detector looks for dashes, a block of bytes at a
// time, and measures the run before each one backwards. Text without dashes is
// skipped at the speed of the block scan.

namespace {

using hex_digit::is_hex;

// One mark per byte of a block that is a dash, in the order of the bytes.
#if defined(__SSE2__)

// Sixty-four bytes, one bit each, from four 16-byte compares.
struct dash_block {
  static constexpr size_t bytes = 64;

  static uint64_t dash_marks(const char* p) {
    const __m128i dash = _mm_set1_epi8('-');
    uint64_t marks = 0;
    for (int i = 0; i < 4; ++i) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
      const auto bits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, dash)));
      marks |= static_cast<uint64_t>(bits) << (16 * i);
    }
    return marks;
  }
  static size_t first(uint64_t marks) { return static_cast<size_t>(__builtin_ctzll(marks)); }
};

#else

// A 64-bit word; the mark of a byte is its high bit. A dash is a zero byte of
// x ^ "--------", found exactly: adding 0x7F to the low seven bits sets the high
// bit of every non-zero byte without a carry into the next one.
struct dash_block {
  static constexpr size_t bytes = 8;

  static uint64_t dash_marks(const char* p) {
    constexpr uint64_t ones = 0x0101010101010101u;
    constexpr uint64_t low_bits = ones * 0x7F;
    uint64_t x;
    memcpy(&x, p, sizeof x);
    const uint64_t y = x ^ (ones * '-');
    return ~(((y & low_bits) + low_bits) | y) & ~low_bits;
  }
  static size_t first(uint64_t marks) { return static_cast<size_t>(__builtin_ctzll(marks)) / 8; }
};

#endif

// Advances over at most max hex digits from s. It counts rather than aiming at
// s + max, which may lie past the text's end.
inline const char* hex_group_end(const char* s, size_t max) {
  for (size_t n = 0; n != max && is_hex(*s); ++n) ++s;
  return s;
}

// The rest of a match after its first group, from the dash at s: three groups of
// at most 4 digits each followed by a dash, then at most 12 digits not followed by
// another digit. The end of the match, or null. The bytes are read one at a time
// and every test fails on a NUL, so nothing after the NUL is read.
const char* match_rest(const char* s) {
  for (int group = 0; group < 3; ++group) {
    s = hex_group_end(s + 1, 4);
    if (*s != '-') return nullptr;
  }
  s = hex_group_end(s + 1, 12);
  return is_hex(*s) ? nullptr : s;
}

class detector final {
 public:
  detector(const char* text, trel::string_base& out) : text_(text), out_(out) {}

  // Reads blocks only inside a window known to hold no NUL. memchr stops at the
  // first NUL, so finding a window never reads past the text.
  bool run() {
    const char* p = text_;
    for (;;) {
      const void* nul = memchr(p, 0, window_bytes);
      const char* limit = nul ? static_cast<const char*>(nul) : p + window_bytes;
      if (scan(p, limit)) return true;
      if (nul) return false;
      p = limit;
    }
  }

 private:
  static constexpr size_t window_bytes = 4096;

  // Tries every dash in [p, limit), in order; true once one ends a match's first group.
  bool scan(const char* p, const char* limit) {
    for (; static_cast<size_t>(limit - p) >= dash_block::bytes; p += dash_block::bytes) {
      for (uint64_t m = dash_block::dash_marks(p); m != 0; m &= m - 1) {
        if (try_dash(p + dash_block::first(m))) return true;
      }
    }
    for (; p != limit; ++p) {
      if (*p == '-' && try_dash(p)) return true;
    }
    return false;
  }

  // The attempt at the run of hex digits just before the dash at d, if it fits the
  // first group; the run is counted backwards, at most nine digits and never before
  // the text's start.
  bool try_dash(const char* d) {
    size_t length = 0;
    while (length <= 8 && d - length != text_ && is_hex(d[-1 - static_cast<ptrdiff_t>(length)]))
      ++length;
    if (length == 0 || length > 8) return false;
    const char* end = match_rest(d);
    if (end == nullptr) return false;
    const char* start = d - length;
    out_.assign_text(start, static_cast<uint32_t>(end - start));
    return true;
  }

  const char* const text_;
  trel::string_base& out_;
};

}  // namespace

bool guid_detector(const char* text, trel::string_base& out) {
  if (text == nullptr) return false;
  return detector(text, out).run();
}
