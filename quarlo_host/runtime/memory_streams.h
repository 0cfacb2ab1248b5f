// Host streams over memory, for settings saving and loading. Both log every
// call so tests and checks can see exactly how a module used them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quarlo/byte_sink.h"
#include "quarlo/byte_source.h"

namespace quarlo_host {

struct stream_call {
  enum kind_t { read, read_exact, skip, skip_exact, write } kind;
  uint64_t count;
};

// Reads from a byte vector. Short read_exact and skip_exact throw
// quarlo_io::exception_io_data after consuming what was there.
class memory_source final : public byte_source {
 public:
  explicit memory_source(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  uint32_t read(void* buffer, uint32_t count, abort_signal& abort) override;
  void read_exact(void* buffer, uint32_t count, abort_signal& abort) override;
  uint64_t skip(uint64_t count, abort_signal& abort) override;
  void skip_exact(uint64_t count, abort_signal& abort) override;

  size_t position() const { return position_; }
  const std::vector<stream_call>& calls() const { return calls_; }
  // At most this many bytes per read (0: no limit), to exercise short reads.
  void set_read_limit(uint32_t n) { read_limit_ = n; }

 private:
  uint32_t take(void* buffer, uint32_t count);

  std::vector<uint8_t> bytes_;
  size_t position_ = 0;
  uint32_t read_limit_ = 0;
  std::vector<stream_call> calls_;
};

// Appends every write to a byte vector.
class memory_sink final : public byte_sink {
 public:
  void write(const void* buffer, uint32_t count, abort_signal& abort) override;

  const std::vector<uint8_t>& bytes() const { return bytes_; }
  const std::vector<stream_call>& calls() const { return calls_; }

 private:
  std::vector<uint8_t> bytes_;
  std::vector<stream_call> calls_;
};

}  // namespace quarlo_host
