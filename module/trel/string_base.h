// The string interface the host and the module call on each other's strings.
// Its slots continue string_receiver's table; the order is part of the contract.
#pragma once

#include <stdint.h>

#include "trel/string_receiver.h"

namespace trel {

class string_base : public string_receiver {
 public:
  // 1: the NUL-terminated text; a shared static empty text when empty, never null.
  virtual const char* current_text() = 0;
  // 2: replaces the text with the source (text, length).
  virtual void assign_text(const char* text, uint32_t length) = 0;
  // 3: cuts the text to length bytes; a length not below the current one does nothing.
  virtual void shorten(uint32_t length) = 0;
  // 4: the stored length in bytes, without counting.
  virtual uint32_t text_length() = 0;
  // 5: a zeroed buffer writable for at least n + 1 bytes; the old text is gone.
  virtual char* open_write_area(uint32_t n) = 0;
  // 6: ends the write area; the length becomes the bytes before the first NUL.
  virtual void close_write_area() = 0;

 protected:
  ~string_base() = default;
};

}  // namespace trel
