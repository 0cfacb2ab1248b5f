#include "settings/generic_byte_source.h"

#include "settings/exception_io.h"

namespace {

constexpr uint32_t skip_chunk = 256;

}  // namespace

void generic_byte_source::read_exact(void* buffer, uint32_t count, abort_signal& abort) {
  byte_source& self = *this;
  if (self.read(buffer, count, abort) < count) throw quarlo_io::exception_io_data_truncation();
}

uint64_t generic_byte_source::skip(uint64_t count, abort_signal& abort) {
  byte_source& self = *this;
  uint8_t scratch[skip_chunk];
  uint64_t total = 0;
  while (count != 0) {
    const uint32_t chunk = count < skip_chunk ? static_cast<uint32_t>(count) : skip_chunk;
    const uint32_t got = self.read(scratch, chunk, abort);
    total += got;
    count -= got;
    if (got < chunk) break;
  }
  return total;
}

void generic_byte_source::skip_exact(uint64_t count, abort_signal& abort) {
  byte_source& self = *this;
  if (self.skip(count, abort) != count) throw quarlo_io::exception_io_data_truncation();
}
