#include "quarlo_host/core/guid_text.h"

#include <cstdint>
#include <cstdio>

namespace quarlo_host {

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads digits hex digits at text[at]; false when one is not a hex digit.
bool read_hex(std::string_view text, size_t at, size_t digits, uint32_t& out) {
  out = 0;
  for (size_t i = 0; i < digits; ++i) {
    const int v = hex_value(text[at + i]);
    if (v < 0) return false;
    out = (out << 4) | static_cast<uint32_t>(v);
  }
  return true;
}

}  // namespace

std::string format_guid(const GUID& g) {
  char text[39];
  std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

bool parse_guid(std::string_view text, GUID& out) {
  if (text.size() != 38 || text[0] != '{' || text[37] != '}') return false;
  for (size_t dash : {9u, 14u, 19u, 24u}) {
    if (text[dash] != '-') return false;
  }
  GUID g{};
  uint32_t v = 0;
  if (!read_hex(text, 1, 8, v)) return false;
  g.Data1 = v;
  if (!read_hex(text, 10, 4, v)) return false;
  g.Data2 = static_cast<uint16_t>(v);
  if (!read_hex(text, 15, 4, v)) return false;
  g.Data3 = static_cast<uint16_t>(v);
  const size_t byte_at[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (size_t i = 0; i < 8; ++i) {
    if (!read_hex(text, byte_at[i], 2, v)) return false;
    g.Data4[i] = static_cast<uint8_t>(v);
  }
  out = g;
  return true;
}

}  // namespace quarlo_host
