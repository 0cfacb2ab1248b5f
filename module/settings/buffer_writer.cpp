#include "settings/buffer_writer.h"

#include <string.h>
#include <new>

void buffer_writer::write(const void* buffer, uint32_t count, abort_signal&) {
  const uint32_t old_size = buffer_->size;
  if (count > UINT32_MAX - old_size) throw std::bad_alloc();
  buffer_->resize_used(old_size + count);
  if (count != 0) memcpy(buffer_->bytes + old_size, buffer, count);
}
