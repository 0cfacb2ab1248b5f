#include "support/recording_streams.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "settings/exception_io.h"

std::ostream& operator<<(std::ostream& out, const stream_call& call) {
  return out << "{slot " << call.slot << ", count " << call.count << "}";
}

void throw_stream_fault(stream_fault fault) {
  switch (fault) {
    case stream_fault::io_data:
      throw quarlo_io::exception_io_data("test stream: bad data");
    case stream_fault::io_general:
      throw quarlo_io::exception_io("test stream: failure");
    case stream_fault::bad_alloc:
      break;
  }
  throw std::bad_alloc();
}

void stream_log::enter(uint32_t slot, uint64_t count, const abort_signal& abort) {
  calls.push_back({slot, count});
  if (expected_abort_ != nullptr && &abort != expected_abort_) abort_passed_on = false;
  if (fail_at_ != 0 && --fail_at_ == 0) throw_stream_fault(fault_);
}

void stream_log::fail_call(uint32_t nth, stream_fault fault) {
  fail_at_ = nth;
  fault_ = fault;
}

void recording_sink::write(const void* buffer, uint32_t count, abort_signal& abort) {
  enter(0, count, abort);
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  data.insert(data.end(), bytes, bytes + count);
}

uint32_t recording_source::read(void* buffer, uint32_t count, abort_signal& abort) {
  enter(0, count, abort);
  const size_t n = std::min<size_t>(count, left());
  if (n != 0) std::memcpy(buffer, data.data() + position, n);
  position += n;
  const size_t extra = std::min<size_t>(overreport_, left());
  position += extra;
  return static_cast<uint32_t>(n + extra);
}

void recording_source::read_exact(void* buffer, uint32_t count, abort_signal& abort) {
  enter(1, count, abort);
  if (left() < count) {
    position = data.size();
    throw quarlo_io::exception_io_data("test stream: end of data");
  }
  if (count != 0) std::memcpy(buffer, data.data() + position, count);
  position += count;
}

uint64_t recording_source::skip(uint64_t count, abort_signal& abort) {
  enter(2, count, abort);
  const size_t n = static_cast<size_t>(std::min<uint64_t>(count, left()));
  position += n;
  return n;
}

void recording_source::skip_exact(uint64_t count, abort_signal& abort) {
  enter(3, count, abort);
  if (left() < count) {
    position = data.size();
    throw quarlo_io::exception_io_data("test stream: end of data");
  }
  position += static_cast<size_t>(count);
}
