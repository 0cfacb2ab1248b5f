// Byte streams over a byte vector that record every call made on them, so
// tests can check exactly which slots were called, with which counts and
// abort signal. The source reports the end of its data the way a host does,
// by throwing quarlo_io::exception_io_data from read_exact and skip_exact,
// and can be told to misbehave.
//
// Written once for both sides of the contract. The module's declarations of
// byte_source, byte_sink, abort_signal and the quarlo_io exceptions and the
// host's own (sdk/quarlo) are classes of the same names and layout but not
// the same classes, so the streams take a side's declarations as their
// argument, a stream_types: support/module_streams.h binds the module's, for
// the unit tests, and support/host_streams.h the host's, for the tests that
// drive a built module from the host.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <ostream>
#include <utility>
#include <vector>

// One side's declarations of what the streams implement and throw.
template <class AbortSignal, class ByteSink, class ByteSource, class ExceptionIo,
          class ExceptionIoData>
struct stream_types {
  using abort_signal = AbortSignal;
  using byte_sink = ByteSink;
  using byte_source = ByteSource;
  using exception_io = ExceptionIo;
  using exception_io_data = ExceptionIoData;
};

// One call on a stream: its slot number and count.
struct stream_call {
  // The slot numbers of a source; a sink has only write.
  enum : uint32_t { read = 0, read_exact = 1, skip = 2, skip_exact = 3, write = 0 };

  uint32_t slot;
  uint64_t count;

  bool operator==(const stream_call& other) const {
    return slot == other.slot && count == other.count;
  }
};

inline std::ostream& operator<<(std::ostream& out, const stream_call& call) {
  return out << "{slot " << call.slot << ", count " << call.count << "}";
}

// What a stream throws when a fault is armed.
enum class stream_fault {
  io_data,     // quarlo_io::exception_io_data, as a host reports bad data
  io_general,  // quarlo_io::exception_io, a failure outside the data family
  bad_alloc,   // std::bad_alloc
};

// Throws the exception that stands for fault, of Side's classes.
template <class Side>
[[noreturn]] void throw_stream_fault(stream_fault fault) {
  switch (fault) {
    case stream_fault::io_data:
      throw typename Side::exception_io_data("test stream: bad data");
    case stream_fault::io_general:
      throw typename Side::exception_io("test stream: failure");
    case stream_fault::bad_alloc:
      break;
  }
  throw std::bad_alloc();
}

// What both recording streams keep: the calls made on them, whether each call
// carried the expected abort signal, and a call armed to fail.
template <class Side>
class stream_log {
 public:
  using abort_signal = typename Side::abort_signal;

  // The nth call from now (1-based) throws fault instead of doing its work.
  void fail_call(uint32_t nth, stream_fault fault) {
    fail_at_ = nth;
    fault_ = fault;
  }
  void expect_abort(const abort_signal& abort) { expected_abort_ = &abort; }

  std::vector<stream_call> calls;
  // True while every call carried the abort signal given to expect_abort.
  bool abort_passed_on = true;

 protected:
  // Records {slot, count}, then throws the armed fault when its call has come.
  void enter(uint32_t slot, uint64_t count, const abort_signal& abort) {
    calls.push_back({slot, count});
    if (expected_abort_ != nullptr && &abort != expected_abort_) abort_passed_on = false;
    if (fail_at_ != 0 && --fail_at_ == 0) throw_stream_fault<Side>(fault_);
  }

 private:
  const abort_signal* expected_abort_ = nullptr;
  uint32_t fail_at_ = 0;
  stream_fault fault_ = stream_fault::io_data;
};

template <class Side>
class recording_sink_t final : public Side::byte_sink, public stream_log<Side> {
 public:
  using typename stream_log<Side>::abort_signal;

  // Appends count bytes to data and records {write, count}.
  void write(const void* buffer, uint32_t count, abort_signal& abort) override {
    this->enter(stream_call::write, count, abort);
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    data.insert(data.end(), bytes, bytes + count);
  }

  std::vector<uint8_t> data;
};

template <class Side>
class recording_source_t final : public Side::byte_source, public stream_log<Side> {
 public:
  using typename stream_log<Side>::abort_signal;

  explicit recording_source_t(std::vector<uint8_t> bytes) : data(std::move(bytes)) {}

  // Copies up to count bytes (fewer only at the end of data, or by limit_reads).
  uint32_t read(void* buffer, uint32_t count, abort_signal& abort) override {
    this->enter(stream_call::read, count, abort);
    const uint32_t asked = read_limit_ != 0 ? std::min(count, read_limit_) : count;
    const size_t n = std::min<size_t>(asked, left());
    if (n != 0) std::memcpy(buffer, data.data() + position, n);
    position += n;
    const size_t extra = std::min<size_t>(overreport_, left());
    position += extra;
    return static_cast<uint32_t>(n + extra);
  }
  // Copies count bytes, or throws exception_io_data when fewer are left
  // (consuming what is left).
  void read_exact(void* buffer, uint32_t count, abort_signal& abort) override {
    this->enter(stream_call::read_exact, count, abort);
    if (left() < count) end_of_data();
    if (count != 0) std::memcpy(buffer, data.data() + position, count);
    position += count;
  }
  // Moves on by up to count bytes; returns how many.
  uint64_t skip(uint64_t count, abort_signal& abort) override {
    this->enter(stream_call::skip, count, abort);
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, left()));
    position += n;
    return n;
  }
  // Moves on by count bytes, or throws exception_io_data when fewer are left.
  void skip_exact(uint64_t count, abort_signal& abort) override {
    this->enter(stream_call::skip_exact, count, abort);
    if (left() < count) end_of_data();
    position += static_cast<size_t>(count);
  }

  // From now on every read delivers at most n bytes (0: no limit), as a
  // host's stream may.
  void limit_reads(uint32_t n) { read_limit_ = n; }
  // From now on every read claims extra bytes more than it delivers, and
  // consumes them from the data: a source that returns more than asked.
  void overreport_reads(uint32_t extra) { overreport_ = extra; }

  std::vector<uint8_t> data;
  size_t position = 0;

 private:
  size_t left() const { return data.size() - position; }
  [[noreturn]] void end_of_data() {
    position = data.size();
    throw typename Side::exception_io_data("test stream: end of data");
  }

  uint32_t read_limit_ = 0;
  uint32_t overreport_ = 0;
};
