#include "quarlo_host/checker/check_streams.h"

#include <algorithm>
#include <cstring>

#include "quarlo/exception_io.h"

namespace quarlo_host {

namespace {

constexpr char truncated[] = "checker stream: data ended before the count asked for";
constexpr size_t header_size = 20;

}  // namespace

const char* source_call_name(source_call::kind_t kind) {
  switch (kind) {
    case source_call::read:
      return "read";
    case source_call::read_exact:
      return "read_exact";
    case source_call::skip:
      return "skip";
    case source_call::skip_exact:
      return "skip_exact";
  }
  return "?";
}

void check_source::log(source_call::kind_t kind, uint64_t count) {
  calls_.push_back({kind, count, position_});
  if (throw_at_ != 0 && calls_.size() == throw_at_ && thrower_) thrower_();
}

uint32_t check_source::take(void* buffer, uint32_t count) {
  const auto n = static_cast<uint32_t>(std::min<uint64_t>(count, bytes_.size() - position_));
  if (n != 0) std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += n;
  return n;
}

uint32_t check_source::read(void* buffer, uint32_t count, abort_signal&) {
  log(source_call::read, count);
  return take(buffer, read_limit_ != 0 ? std::min(count, read_limit_) : count);
}

void check_source::read_exact(void* buffer, uint32_t count, abort_signal&) {
  log(source_call::read_exact, count);
  if (take(buffer, count) != count) throw quarlo_io::exception_io_data_truncation(truncated);
}

uint64_t check_source::skip(uint64_t count, abort_signal&) {
  log(source_call::skip, count);
  const uint64_t n = std::min<uint64_t>(count, bytes_.size() - position_);
  position_ += n;
  return n;
}

void check_source::skip_exact(uint64_t count, abort_signal&) {
  log(source_call::skip_exact, count);
  const uint64_t n = std::min<uint64_t>(count, bytes_.size() - position_);
  position_ += n;
  if (n != count) throw quarlo_io::exception_io_data_truncation(truncated);
}

void check_sink::write(const void* buffer, uint32_t count, abort_signal&) {
  ++writes_;
  if (throw_at_ != 0 && writes_ == throw_at_ && thrower_) thrower_();
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  bytes_.insert(bytes_.end(), bytes, bytes + count);
}

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
