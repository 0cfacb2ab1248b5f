// A UTF-8 string either side can read and write; slots continue string_receiver's.
#pragma once

#include <stdint.h>

#include "quarlo/string_receiver.h"

namespace trel {

class string_base : public string_receiver {
 public:
  // 1: the NUL-terminated text, never null (a shared empty text when empty).
  virtual const char* current_text() = 0;
  // 2: replaces the text with the source (text, length), read like append_text's.
  virtual void assign_text(const char* text, uint32_t length) = 0;
  // 3: cuts the text to length bytes; a length not below the current one does nothing.
  virtual void shorten(uint32_t length) = 0;
  // 4: the stored length in bytes.
  virtual uint32_t text_length() = 0;
  // 5: a zeroed buffer writable for n + 1 bytes, owned by the string; the old text is gone.
  virtual char* open_write_area(uint32_t n) = 0;
  // 6: ends the write area; the length becomes the bytes before the first NUL.
  virtual void close_write_area() = 0;

 protected:
  ~string_base() = default;
};

}  // namespace trel
