#include "quarlo_host/checker/check_streams.h"

#include <algorithm>
#include <cstring>

#include "quarlo/exception_io.h"

namespace quarlo_host {

namespace {

constexpr char truncated[] = "checker stream: data ended before the count asked for";

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

}  // namespace quarlo_host
