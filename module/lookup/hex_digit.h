// Hex digit classes and values for the GUID text algorithms, from one 256-entry
// table: a byte's entry holds its digit value and a flag when it is a hex digit.
#pragma once

#include <stdint.h>

namespace hex_digit {

inline constexpr uint8_t hex_flag = 0x10;

struct table_t {
  uint8_t entries[256];
};

constexpr table_t make_table() {
  table_t table{};
  for (int i = 0; i < 10; ++i) table.entries['0' + i] = static_cast<uint8_t>(hex_flag | i);
  for (int i = 0; i < 6; ++i) {
    table.entries['a' + i] = static_cast<uint8_t>(hex_flag | (10 + i));
    table.entries['A' + i] = static_cast<uint8_t>(hex_flag | (10 + i));
  }
  return table;
}

inline constexpr table_t table = make_table();

// True for 0-9, a-f and A-F; never for a NUL or a byte of a multi-byte sequence.
inline bool is_hex(char c) {
  return (table.entries[static_cast<unsigned char>(c)] & hex_flag) != 0;
}

// 0-15 for a hex digit, 0 for every other byte.
inline uint32_t value(char c) { return table.entries[static_cast<unsigned char>(c)] & 0x0Fu; }

}  // namespace hex_digit
