#include "quarlo_host/runtime/memory_streams.h"

#include <algorithm>
#include <cstring>

#include "quarlo/exception_io.h"

namespace quarlo_host {

namespace {
constexpr char truncated[] = "Unexpected end of settings data";
}

uint32_t memory_source::take(void* buffer, uint32_t count) {
  const size_t left = bytes_.size() - position_;
  const auto n = static_cast<uint32_t>(std::min<size_t>(count, left));
  if (n != 0) std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += n;
  return n;
}

uint32_t memory_source::read(void* buffer, uint32_t count, abort_signal&) {
  calls_.push_back({stream_call::read, count});
  return take(buffer, read_limit_ != 0 ? std::min(count, read_limit_) : count);
}

void memory_source::read_exact(void* buffer, uint32_t count, abort_signal&) {
  calls_.push_back({stream_call::read_exact, count});
  if (take(buffer, count) != count) throw quarlo_io::exception_io_data(truncated);
}

uint64_t memory_source::skip(uint64_t count, abort_signal&) {
  calls_.push_back({stream_call::skip, count});
  const uint64_t n = std::min<uint64_t>(count, bytes_.size() - position_);
  position_ += static_cast<size_t>(n);
  return n;
}

void memory_source::skip_exact(uint64_t count, abort_signal&) {
  calls_.push_back({stream_call::skip_exact, count});
  const uint64_t n = std::min<uint64_t>(count, bytes_.size() - position_);
  position_ += static_cast<size_t>(n);
  if (n != count) throw quarlo_io::exception_io_data(truncated);
}

void memory_sink::write(const void* buffer, uint32_t count, abort_signal&) {
  calls_.push_back({stream_call::write, count});
  const auto* p = static_cast<const uint8_t*>(buffer);
  bytes_.insert(bytes_.end(), p, p + count);
}

}  // namespace quarlo_host
