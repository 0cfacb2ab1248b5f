// The streams the settings cases hand a module: a source over bytes that logs
// every call with the position it came at and can throw on a chosen call, and
// a sink that can throw on a chosen write.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "quarlo/byte_sink.h"
#include "quarlo/byte_source.h"

namespace quarlo_host {

struct source_call {
  enum kind_t { read, read_exact, skip, skip_exact } kind;
  uint64_t count;
  // Where the stream stood when the call came.
  uint64_t position;
};

const char* source_call_name(source_call::kind_t kind);

// Throws the exception a case plants; called instead of the stream's work.
using planted_throw = std::function<void()>;

// Reads from bytes. A short read_exact or skip_exact throws the host's
// quarlo_io::exception_io_data after consuming what was there; the planted
// throw, when set, replaces the call numbered throw_at (1-based).
class check_source final : public byte_source {
 public:
  explicit check_source(std::vector<uint8_t> bytes, uint32_t read_limit = 0)
      : bytes_(std::move(bytes)), read_limit_(read_limit) {}

  uint32_t read(void* buffer, uint32_t count, abort_signal& abort) override;
  void read_exact(void* buffer, uint32_t count, abort_signal& abort) override;
  uint64_t skip(uint64_t count, abort_signal& abort) override;
  void skip_exact(uint64_t count, abort_signal& abort) override;

  void plant(uint32_t throw_at, planted_throw thrower) {
    throw_at_ = throw_at;
    thrower_ = std::move(thrower);
  }
  uint64_t position() const { return position_; }
  uint64_t size() const { return bytes_.size(); }
  const std::vector<source_call>& calls() const { return calls_; }

 private:
  void log(source_call::kind_t kind, uint64_t count);
  uint32_t take(void* buffer, uint32_t count);

  std::vector<uint8_t> bytes_;
  uint32_t read_limit_;
  uint64_t position_ = 0;
  uint32_t throw_at_ = 0;
  planted_throw thrower_;
  std::vector<source_call> calls_;
};

// Appends every write; the planted throw replaces the write numbered throw_at.
class check_sink final : public byte_sink {
 public:
  void write(const void* buffer, uint32_t count, abort_signal& abort) override;

  void plant(uint32_t throw_at, planted_throw thrower) {
    throw_at_ = throw_at;
    thrower_ = std::move(thrower);
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  uint32_t writes() const { return writes_; }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t writes_ = 0;
  uint32_t throw_at_ = 0;
  planted_throw thrower_;
};

}  // namespace quarlo_host
