#include "settings/limited_reader.h"

#include "settings/exception_io.h"

uint32_t limited_reader::read(void* buffer, uint32_t count, abort_signal& abort) {
  const uint32_t asked = count < remaining_ ? count : remaining_;
  const uint32_t got = source_->read(buffer, asked, abort);
  if (got > asked) {
    remaining_ = 0;
    overrun_ = true;
    throw quarlo_io::exception_io_data_truncation();
  }
  remaining_ -= got;
  return got;
}
