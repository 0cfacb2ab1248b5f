// Hex digit classes and values for the GUID text algorithms, from one 256-entry
// table: a byte's entry holds its digit value and a flag when it is a hex digit.
#pragma once

#include <stdint.h>

namespace hex_digit {

inline constexpr uint8_t hex_flag = 0x10;

// The entry of byte c.
constexpr uint8_t entry(int c) {
  return c >= '0' && c <= '9'   ? static_cast<uint8_t>(hex_flag | (c - '0'))
         : c >= 'a' && c <= 'f' ? static_cast<uint8_t>(hex_flag | (c - 'a' + 10))
         : c >= 'A' && c <= 'F' ? static_cast<uint8_t>(hex_flag | (c - 'A' + 10))
                                : 0;
}

#define HEX_DIGIT_ROW(r)                                                                        \
  entry(r), entry(r + 1), entry(r + 2), entry(r + 3), entry(r + 4), entry(r + 5), entry(r + 6), \
      entry(r + 7), entry(r + 8), entry(r + 9), entry(r + 10), entry(r + 11), entry(r + 12),    \
      entry(r + 13), entry(r + 14), entry(r + 15)

inline constexpr uint8_t table[256] = {
    HEX_DIGIT_ROW(0x00), HEX_DIGIT_ROW(0x10), HEX_DIGIT_ROW(0x20), HEX_DIGIT_ROW(0x30),
    HEX_DIGIT_ROW(0x40), HEX_DIGIT_ROW(0x50), HEX_DIGIT_ROW(0x60), HEX_DIGIT_ROW(0x70),
    HEX_DIGIT_ROW(0x80), HEX_DIGIT_ROW(0x90), HEX_DIGIT_ROW(0xA0), HEX_DIGIT_ROW(0xB0),
    HEX_DIGIT_ROW(0xC0), HEX_DIGIT_ROW(0xD0), HEX_DIGIT_ROW(0xE0), HEX_DIGIT_ROW(0xF0)};

#undef HEX_DIGIT_ROW

// True for 0-9, a-f and A-F; never for a NUL or a byte of a multi-byte sequence.
inline bool is_hex(char c) { return (table[static_cast<unsigned char>(c)] & hex_flag) != 0; }

// 0-15 for a hex digit, 0 for every other byte.
inline uint32_t value(char c) { return table[static_cast<unsigned char>(c)] & 0x0Fu; }

}  // namespace hex_digit
