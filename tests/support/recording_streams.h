// Host-like byte streams over a byte vector that record every call made on
// them, so tests can check exactly which slots the module calls, with which
// counts and abort signal. The source reports the end of its data the way a
// host does, by throwing quarlo_io::exception_io_data from read_exact and
// skip_exact, and can be told to misbehave.
#pragma once

#include <cstdint>
#include <ostream>
#include <utility>
#include <vector>

#include "host/byte_sink.h"
#include "host/byte_source.h"

// One call on a stream: its slot number and count.
struct stream_call {
  uint32_t slot;
  uint64_t count;

  bool operator==(const stream_call& other) const {
    return slot == other.slot && count == other.count;
  }
};
std::ostream& operator<<(std::ostream& out, const stream_call& call);

// What a stream throws when a fault is armed.
enum class stream_fault {
  io_data,     // quarlo_io::exception_io_data, as a host reports bad data
  io_general,  // quarlo_io::exception_io, a failure outside the data family
  bad_alloc,   // std::bad_alloc
};

// Throws the exception that stands for fault.
[[noreturn]] void throw_stream_fault(stream_fault fault);

// What both recording streams keep: the calls made on them, whether each call
// carried the expected abort signal, and a call armed to fail.
class stream_log {
 public:
  // The nth call from now (1-based) throws fault instead of doing its work.
  void fail_call(uint32_t nth, stream_fault fault);
  void expect_abort(const abort_signal& abort) { expected_abort_ = &abort; }

  std::vector<stream_call> calls;
  // True while every call carried the abort signal given to expect_abort.
  bool abort_passed_on = true;

 protected:
  // Records {slot, count}, then throws the armed fault when its call has come.
  void enter(uint32_t slot, uint64_t count, const abort_signal& abort);

 private:
  const abort_signal* expected_abort_ = nullptr;
  uint32_t fail_at_ = 0;
  stream_fault fault_ = stream_fault::io_data;
};

class recording_sink final : public byte_sink, public stream_log {
 public:
  // Appends count bytes to data and records {0, count}.
  void write(const void* buffer, uint32_t count, abort_signal& abort) override;

  std::vector<uint8_t> data;
};

class recording_source final : public byte_source, public stream_log {
 public:
  explicit recording_source(std::vector<uint8_t> bytes) : data(std::move(bytes)) {}

  // 0: copies up to count bytes; fewer only at the end of data.
  uint32_t read(void* buffer, uint32_t count, abort_signal& abort) override;
  // 1: copies count bytes, or throws exception_io_data when fewer are left
  //    (consuming what is left).
  void read_exact(void* buffer, uint32_t count, abort_signal& abort) override;
  // 2: moves on by up to count bytes; returns how many.
  uint64_t skip(uint64_t count, abort_signal& abort) override;
  // 3: moves on by count bytes, or throws exception_io_data when fewer are left.
  void skip_exact(uint64_t count, abort_signal& abort) override;

  // From now on every read claims extra bytes more than it delivers, and
  // consumes them from the data: a source that returns more than asked.
  void overreport_reads(uint32_t extra) { overreport_ = extra; }

  std::vector<uint8_t> data;
  size_t position = 0;

 private:
  size_t left() const { return data.size() - position; }

  uint32_t overreport_ = 0;
};
