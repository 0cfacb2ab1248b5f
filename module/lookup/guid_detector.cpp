#include "lookup/guid_detector.h"

#include <stddef.h>
#include <stdint.h>

#include "lookup/hex_digit.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Call a byte that is not a hex digit a separator (the NUL is one). A match is then a
// chain of six consecutive separators a d1 d2 d3 d4 e, with dashes for d1 to d4, and
// with 1-8, 0-4, 0-4, 0-4 and 0-12 hex digits in the five gaps; a may also be the
// text's start. The match runs from after a up to e. Of two chains the one that starts
// first also ends first, so the first match is the chain with the first end.
//
// The detector finds the chains of a whole block of bytes with a few word operations,
// one bit per byte, however many dashes the block holds:
// - hex and dash masks from 16-byte compares;
// - runs of 5, 9 and 13 digits from shifted ANDs, which give each gap's upper bound as
//   the digits that lie among the first 4, 8 or 12 of their run;
// - from a set of dashes to the separators that end the gaps after them by one addition:
//   a bit added just after a dash carries through the gap's digits and stops on the
//   first byte outside them. Each gap follows one separator only, so no two carries meet.
// Masks, runs and carries continue from the block before through funnel shifts and
// carried bits, so chains cross block boundaries.
//
// Most blocks need none of this. The four dashes of a match lie within 16 bytes, and a
// match that ends in a block has them in that block or the one before. So a block is
// first only read for its NUL and its dashes counted, and its chains are computed only
// when it and the block before hold four dashes or more. After skipped blocks the
// chains are rebuilt from the last of them.

namespace {

using hex_digit::is_hex;

// One bit per byte of a block, byte i at bit i: a block is a register's worth of bits.
// A build may set GUID_DETECTOR_BLOCK_BITS to the other width (the fuzz build does).
#if !defined(GUID_DETECTOR_BLOCK_BITS)
#if UINTPTR_MAX > 0xFFFFFFFFu
#define GUID_DETECTOR_BLOCK_BITS 64
#else
#define GUID_DETECTOR_BLOCK_BITS 32
#endif
#endif

#if GUID_DETECTOR_BLOCK_BITS == 64
typedef uint64_t word;
inline unsigned lowest_bit(word x) { return static_cast<unsigned>(__builtin_ctzll(x)); }
#elif GUID_DETECTOR_BLOCK_BITS == 32
typedef uint32_t word;
inline unsigned lowest_bit(word x) { return static_cast<unsigned>(__builtin_ctz(x)); }
#else
#error "GUID_DETECTOR_BLOCK_BITS must be 32 or 64"
#endif

constexpr unsigned block_bytes = GUID_DETECTOR_BLOCK_BITS;

// Fewer dashes than this in a block and the one before: no match ends in the block.
constexpr unsigned match_dashes = 4;

// A match that ends in a block after a skipped one has its last dash in the block (the
// skipped one holds three at most), its first dash at most 5 + 5 + 5 bytes before, and
// the first group's bound looks 9 bytes further back: the chains at such a block depend
// on this many bytes before it, rounded up to whole blocks.
constexpr uintptr_t context_bytes = 5 + 5 + 5 + 9;
constexpr uintptr_t rebuild_bytes = (context_bytes + block_bytes - 1) / block_bytes * block_bytes;

// What reading a block found: the number of its dashes, or nul_seen plus the offset of
// the NUL in it. nul_seen exceeds match_dashes, so one comparison stops at either.
typedef unsigned block_scan;
constexpr block_scan nul_seen = 0x100;

// x moved up by s bytes, the top of the block before (before) filling in: bit i then
// tells about byte i - s.
inline word back(word x, word before, unsigned s) {
  return (x << s) | (before >> (block_bytes - s));
}

// For each dash of from, a bit added just after it carries through the bytes of runs
// and lands on the first byte after them that is not in runs: the sum has the landings
// where runs is 0, elsewhere the bits of runs. in is what the block before passes on, a
// carry out of its last byte or the bit after a dash on it, and becomes what this block
// passes on.
inline word land(word runs, word from, word& in) {
  const word sum = runs + in + (from << 1);
  in = (sum < runs ? 1 : 0) + (from >> (block_bytes - 1));
  return sum;
}

// What the chains of a block need to know of the block before.
struct chain_state {
  word hex, hex2, hex4;  // digits; ends of 2 and of 4 consecutive digits
  word short8;           // digits among the first 8 of their run
  word in[4];            // what each addition below passes on
};

// Before the text's start: separators only.
constexpr chain_state text_start = {0, 0, 0, 0, {0, 0, 0, 0}};
// Before a block whose predecessors are unknown: digits and no dash, so that no chain
// starts there. Chains are then missing only near that block's start.
constexpr chain_state unknown = {~word(0), ~word(0), ~word(0), 0, {0, 0, 0, 0}};

// Moves the chains on by one block and returns the separators in it that end a match.
inline word advance(chain_state& c, word hex, word dash) {
  const word hex2 = hex & back(hex, c.hex, 1);
  const word hex4 = hex2 & back(hex2, c.hex2, 2);
  const word hex8 = hex4 & back(hex4, c.hex4, 4);
  const word long5 = hex4 & back(hex, c.hex, 4);
  const word long9 = hex8 & back(hex, c.hex, 8);
  const word long13 = long9 & back(hex4, c.hex4, 9);
  const word short4 = hex & ~long5;
  const word short8 = hex & ~long9;
  const word short12 = hex & ~long13;
  // A dash after 1-8 digits; three times a dash after at most 4 more; a separator after
  // at most 12. A longer gap lands on a digit, which no mask keeps.
  const word d1 = dash & back(short8, c.short8, 1);
  const word d2 = land(short4, d1, c.in[0]) & dash;
  const word d3 = land(short4, d2, c.in[1]) & dash;
  const word d4 = land(short4, d3, c.in[2]) & dash;
  const word ends = land(short12, d4, c.in[3]) & ~hex;
  c.hex = hex;
  c.hex2 = hex2;
  c.hex4 = hex4;
  c.short8 = short8;
  return ends;
}

// A block read whole: its hex digits and dashes before the NUL.
struct block_read {
  word hex, dash;
  bool ended;  // the NUL is in the block
};

#if defined(__SSE2__)

// A block is read in aligned 16-byte vectors, each only after the one before held no
// NUL. An aligned load never crosses a page, so the vector that holds the NUL is read
// whole, and so is the first although the text may start inside it. AddressSanitizer
// would report the bytes outside the text, so this load is not instrumented. Valgrind's
// memcheck accepts an aligned load that is only partly addressable (--partial-loads-ok,
// its default) and marks the other bytes undefined: the bytes before the text are
// replaced and those after the NUL masked off before they reach a branch.
__attribute__((no_sanitize_address)) inline __m128i load_vector(uintptr_t address) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(address));
}

constexpr unsigned block_vectors = block_bytes / 16;

inline unsigned byte_marks(__m128i bytes) {
  return static_cast<unsigned>(_mm_movemask_epi8(bytes));
}

inline __m128i hex_bytes(__m128i x) {
  // Adding 0x80 - c takes the n bytes from c on, and only them, to [-128, -128 + n).
  const __m128i digit =
      _mm_cmplt_epi8(_mm_add_epi8(x, _mm_set1_epi8(0x80 - '0')), _mm_set1_epi8(-128 + 10));
  const __m128i lower = _mm_or_si128(x, _mm_set1_epi8(0x20));
  const __m128i letter =
      _mm_cmplt_epi8(_mm_add_epi8(lower, _mm_set1_epi8(0x80 - 'a')), _mm_set1_epi8(-128 + 6));
  return _mm_or_si128(digit, letter);
}

// The sum of the bytes of counts.
inline unsigned byte_sum(__m128i counts) {
  const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
  return static_cast<unsigned>(
      _mm_cvtsi128_si32(_mm_add_epi32(sums, _mm_shuffle_epi32(sums, 0xEE))));
}

class block_reader {
 public:
  explicit block_reader(uintptr_t start) : first_(start & ~uintptr_t(15)), skip_(start - first_) {}

  // Where the blocks start: the text's first byte lies in the first vector.
  uintptr_t first() const { return first_; }

  template <bool first_block>
  block_scan scan(uintptr_t block) const {
    const __m128i zero = _mm_setzero_si128();
    __m128i x[block_vectors];
#pragma GCC unroll 4
    for (unsigned v = 0; v < block_vectors; ++v) {
      x[v] = first_block && v == 0 ? first_vector() : load_vector(block + 16 * v);
      const unsigned nul = byte_marks(_mm_cmpeq_epi8(x[v], zero));
      if (__builtin_expect(nul != 0, 0)) return nul_seen + 16 * v + lowest_bit(nul);
    }
    __m128i counts = zero;
#pragma GCC unroll 4
    for (unsigned v = 0; v < block_vectors; ++v)
      counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(x[v], _mm_set1_epi8('-')));
    return byte_sum(counts);
  }

  block_read read(uintptr_t block) const {
    const __m128i zero = _mm_setzero_si128();
    word hex = 0, dash = 0;
#pragma GCC unroll 4
    for (unsigned v = 0; v < block_vectors; ++v) {
      const __m128i x = block == first_ && v == 0 ? first_vector() : load_vector(block + 16 * v);
      const word hex_marks = byte_marks(hex_bytes(x));
      const word dash_marks = byte_marks(_mm_cmpeq_epi8(x, _mm_set1_epi8('-')));
      const unsigned nul = byte_marks(_mm_cmpeq_epi8(x, zero));
      if (__builtin_expect(nul != 0, 0)) {
        const word kept = (word(1) << lowest_bit(nul)) - 1;
        return {hex | (hex_marks & kept) << (16 * v), dash | (dash_marks & kept) << (16 * v), true};
      }
      hex |= hex_marks << (16 * v);
      dash |= dash_marks << (16 * v);
    }
    return {hex, dash, false};
  }

 private:
  // The first vector, its bytes before the text made blanks.
  __m128i first_vector() const {
    alignas(16) static const unsigned char ramp[32] = {
        0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
        0,    0,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const __m128i keep = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ramp + 16 - skip_));
    return _mm_or_si128(_mm_and_si128(keep, load_vector(first_)),
                        _mm_andnot_si128(keep, _mm_set1_epi8(' ')));
  }

  const uintptr_t first_;
  const uintptr_t skip_;
};

#else

// Without SSE2 the same blocks are read a byte at a time, never before the text's start
// nor after its NUL.
class block_reader {
 public:
  explicit block_reader(uintptr_t start) : start_(start), first_(start & ~uintptr_t(15)) {}

  uintptr_t first() const { return first_; }

  template <bool first_block>
  block_scan scan(uintptr_t block) const {
    unsigned dashes = 0;
    for (unsigned i = 0; i < block_bytes; ++i) {
      if (block + i < start_) continue;
      const char c = *reinterpret_cast<const char*>(block + i);
      if (c == '\0') return nul_seen + i;
      if (c == '-') ++dashes;
    }
    return dashes;
  }

  block_read read(uintptr_t block) const {
    word hex = 0, dash = 0;
    for (unsigned i = 0; i < block_bytes; ++i) {
      if (block + i < start_) continue;
      const char c = *reinterpret_cast<const char*>(block + i);
      if (c == '\0') return {hex, dash, true};
      if (is_hex(c)) hex |= word(1) << i;
      if (c == '-') dash |= word(1) << i;
    }
    return {hex, dash, false};
  }

 private:
  const uintptr_t start_;
  const uintptr_t first_;
};

#endif

// A block where the detector must look closer, and the scan that said so.
struct block_stop {
  uintptr_t block;
  block_scan scan;
  unsigned dashes_before;  // in the block before
};

// Scans on from block, given the dashes in the block before it, up to the block that
// holds the NUL or that holds, with the block before, match_dashes dashes. Out of line,
// so that this loop has the registers to itself.
__attribute__((noinline)) block_stop next_stop(const block_reader& reader, uintptr_t block,
                                               unsigned dashes_before) {
  for (;; block += block_bytes) {
    const block_scan scan = reader.scan<false>(block);
    if (scan + dashes_before >= match_dashes) return {block, scan, dashes_before};
    dashes_before = scan;
  }
}

class detector final {
 public:
  detector(const char* text, trel::string_base& out)
      : text_(text), out_(out), reader_(reinterpret_cast<uintptr_t>(text)) {}

  bool run() {
    chain_state chain = text_start;
    uintptr_t chained = reader_.first();  // the block that chain leads up to
    block_stop at = {chained, reader_.scan<true>(chained), 0};
    if (at.scan + at.dashes_before < match_dashes)
      at = next_stop(reader_, at.block + block_bytes, at.scan);
    for (;;) {
      // The blocks since the last one computed were skipped, so no match ends in them,
      // and the chains here depend only on their last rebuild_bytes.
      if (at.block - chained > rebuild_bytes) {
        chained = at.block - rebuild_bytes;
        chain = unknown;
      }
      for (; chained != at.block; chained += block_bytes) {
        const block_read r = reader_.read(chained);
        advance(chain, r.hex, r.dash);
      }
      // Then block after block while they hold two dashes or more; after a block with
      // fewer, scanning resumes with its exact count.
      unsigned dashes_before;
      for (;;) {
        const block_read r = reader_.read(chained);
        const word ends = advance(chain, r.hex, r.dash);
        if (ends != 0) {
          report(chained + lowest_bit(ends));
          return true;
        }
        if (r.ended) return false;
        chained += block_bytes;
        if ((r.dash & (r.dash - 1)) == 0) {
          dashes_before = r.dash != 0 ? 1 : 0;
          break;
        }
      }
      at = next_stop(reader_, chained, dashes_before);
    }
  }

 private:
  void report(uintptr_t end) {
    const char* match_end = text_ + (end - reinterpret_cast<uintptr_t>(text_));
    const char* match_start = start_of(match_end);
    out_.assign_text(match_start, static_cast<uint32_t>(match_end - match_start));
  }

  // The start of the match that ends at end: back over a group and its dash four times,
  // then over the first group, which follows the text's start or a separator.
  const char* start_of(const char* end) const {
    const char* s = end;
    for (int dashes = 0; dashes < 4; ++dashes) {
      while (is_hex(s[-1])) --s;
      --s;
    }
    while (s != text_ && is_hex(s[-1])) --s;
    return s;
  }

  const char* const text_;
  trel::string_base& out_;
  const block_reader reader_;
};

}  // namespace

bool guid_detector(const char* text, trel::string_base& out) {
  if (text == nullptr) return false;
  return detector(text, out).run();
}
