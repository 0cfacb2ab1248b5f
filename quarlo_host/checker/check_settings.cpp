#include "quarlo_host/checker/check_settings.h"

#include <cstdio>

namespace quarlo_host {

std::vector<uint8_t> save_of(check_session& s) {
  check_sink sink;
  abort_signal abort;
  s.client().save_settings(sink, abort);
  return sink.bytes();
}

std::vector<settings_record> saved_records(check_session& s) {
  std::vector<settings_record> records;
  if (!split_records(save_of(s), records)) records.clear();
  return records;
}

void load_from(check_session& s, std::vector<uint8_t> bytes, uint32_t read_limit) {
  check_source source(std::move(bytes), read_limit);
  abort_signal abort;
  s.client().load_settings(source, abort);
}

std::vector<uint8_t> random_bytes(std::mt19937& random, size_t n) {
  std::vector<uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

std::string describe_bytes(const std::vector<uint8_t>& bytes) {
  constexpr size_t shown = 24;
  std::string out = std::to_string(bytes.size()) + " byte(s)";
  for (size_t i = 0; i < bytes.size() && i < shown; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
    out += (i == 0 ? ":" : "") + std::string(hex);
  }
  return bytes.size() > shown ? out + " ..." : out;
}

}  // namespace quarlo_host
