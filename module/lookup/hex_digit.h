// Hex digit classes and values for the GUID text algorithms, from one 256-entry
// table: a byte's entry holds its digit value and a flag when it is a hex digit.
#pragma once

#include <array>
#include <cstdint>

namespace hex_digit {

inline constexpr uint8_t hex_flag = 0x10;

constexpr std::array<uint8_t, 256> make_table() {
  std::array<uint8_t, 256> table{};
  for (int i = 0; i < 10; ++i) table['0' + i] = static_cast<uint8_t>(hex_flag | i);
  for (int i = 0; i < 6; ++i) {
    table['a' + i] = static_cast<uint8_t>(hex_flag | (10 + i));
    table['A' + i] = static_cast<uint8_t>(hex_flag | (10 + i));
  }
  return table;
}

inline constexpr std::array<uint8_t, 256> table = make_table();

// True for 0-9, a-f and A-F; never for a NUL or a byte of a multi-byte sequence.
inline bool is_hex(char c) { return (table[static_cast<unsigned char>(c)] & hex_flag) != 0; }

// 0-15 for a hex digit, 0 for every other byte.
inline uint32_t value(char c) { return table[static_cast<unsigned char>(c)] & 0x0Fu; }

}  // namespace hex_digit
