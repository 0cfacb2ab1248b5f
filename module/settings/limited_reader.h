// A byte_source that lets at most a given number of bytes through from another
// byte_source, so a setting cannot read past its record. It lives on the stack
// of a load, one per matched record, and owns nothing.
#pragma once

#include <stdint.h>

#include "host/byte_source.h"
#include "settings/generic_byte_source.h"

class limited_reader final : public generic_byte_source {
 public:
  limited_reader(byte_source& source, uint32_t limit) : source_(&source), remaining_(limit) {}

  // Reads up to count bytes, no more than remain, with one read on the source
  // (also for 0). A source that returns more than it was asked for has moved
  // past the limit: the reader then remains at 0, marks itself overrun and
  // throws exception_io_data_truncation.
  uint32_t read(void* buffer, uint32_t count, abort_signal& abort) override;

  // The bytes still allowed through.
  uint32_t remaining() const { return remaining_; }
  // True once the source returned more than it was asked for: where the
  // source now stands is unknown.
  bool overrun() const { return overrun_; }

 private:
  byte_source* source_;
  uint32_t remaining_;
  bool overrun_ = false;
};
