// Plain, byte-by-byte versions of the GUID text algorithms, written straight from
// their rules without any fast path; the fuzz targets compare the module's code
// against them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/guid.h"

namespace guid_reference {

inline bool is_hex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

inline uint32_t digit_value(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<uint32_t>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<uint32_t>(c - 'A' + 10);
  return 0;
}

struct match {
  bool found;
  size_t offset;
  size_t length;
};

// The matcher at offset p (a hex digit): the end of the match, or 0.
inline size_t match_end(const char* text, size_t p) {
  const size_t limits[5] = {8, 4, 4, 4, 12};
  size_t i = p;
  for (size_t group = 0; group < 5; ++group) {
    size_t digits = 0;
    while (digits < limits[group] && is_hex(text[i])) {
      ++i;
      ++digits;
    }
    if (group < 4) {
      if (text[i] != '-') return 0;
      ++i;
    }
  }
  return is_hex(text[i]) ? 0 : i;
}

inline match detect(const char* text) {
  size_t p = 0;
  for (;;) {
    while (text[p] != '\0' && !is_hex(text[p])) ++p;
    if (text[p] == '\0') return {false, 0, 0};
    const size_t end = match_end(text, p);
    if (end != 0) return {true, p, end - p};
    while (is_hex(text[p])) ++p;
  }
}

// Fills a prefix of the record; returns how many of its five groups were written.
inline size_t parse(const char* text, GUID& out) {
  size_t s = 0;
  if (text[0] == '{') s = 1;
  size_t end = s;
  while (text[end] != '\0' && text[end] != '}') ++end;
  auto pair = [&](size_t at) { return digit_value(text[at]) * 16 + digit_value(text[at + 1]); };
  auto skip_dashes = [&] {
    while (s < end && text[s] == '-') ++s;
  };

  if (s + 8 > end) return 0;
  out.Data1 = (pair(s) << 24) + (pair(s + 2) << 16) + (pair(s + 4) << 8) + pair(s + 6);
  s += 8;
  skip_dashes();
  if (s + 4 > end) return 1;
  out.Data2 = static_cast<uint16_t>(pair(s) * 256 + pair(s + 2));
  s += 4;
  skip_dashes();
  if (s + 4 > end) return 2;
  out.Data3 = static_cast<uint16_t>(pair(s) * 256 + pair(s + 2));
  s += 4;
  skip_dashes();
  if (s + 4 > end) return 3;
  out.Data4[0] = static_cast<uint8_t>(pair(s));
  out.Data4[1] = static_cast<uint8_t>(pair(s + 2));
  s += 4;
  skip_dashes();
  if (s + 12 > end) return 4;
  for (size_t k = 2; k < 8; ++k) out.Data4[k] = static_cast<uint8_t>(pair(s + 2 * (k - 2)));
  return 5;
}

}  // namespace guid_reference
