#include "quarlo_host/checker/settings_records.h"

#include <cstddef>

namespace quarlo_host {

namespace {

constexpr size_t header_size = 20;

}  // namespace

bool split_records(const std::vector<uint8_t>& bytes, std::vector<settings_record>& out) {
  out.clear();
  size_t at = 0;
  while (at < bytes.size()) {
    if (bytes.size() - at < header_size) return false;
    uint32_t size = 0;
    for (int i = 3; i >= 0; --i) size = size << 8 | bytes[at + 16 + i];
    if (bytes.size() - at - header_size < size) return false;
    settings_record record;
    record.guid.assign(bytes.begin() + at, bytes.begin() + at + 16);
    record.payload.assign(bytes.begin() + at + header_size,
                          bytes.begin() + at + header_size + size);
    out.push_back(std::move(record));
    at += header_size + size;
  }
  return true;
}

std::vector<uint8_t> record_header(const settings_record& record) {
  std::vector<uint8_t> header = record.guid;
  const auto size = static_cast<uint32_t>(record.payload.size());
  for (int i = 0; i < 4; ++i) header.push_back(static_cast<uint8_t>(size >> (8 * i)));
  return header;
}

std::vector<uint8_t> join_records(const std::vector<settings_record>& records) {
  std::vector<uint8_t> bytes;
  for (const auto& record : records) {
    const std::vector<uint8_t> header = record_header(record);
    bytes.insert(bytes.end(), header.begin(), header.end());
    bytes.insert(bytes.end(), record.payload.begin(), record.payload.end());
  }
  return bytes;
}

}  // namespace quarlo_host
