// How a (text, length) source is read across the boundary: it ends at the
// first NUL or after length bytes, whichever comes first; all ones means up to
// the NUL, and a null text is empty.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "quarlo/string_receiver.h"

namespace quarlo {

// The bytes of the source (text, length).
inline size_t source_length(const char* text, uint32_t length) {
  if (text == nullptr) return 0;
  if (length == trel::until_nul) return strlen(text);
  const void* nul = memchr(text, 0, length);
  return nul == nullptr ? length : static_cast<size_t>(static_cast<const char*>(nul) - text);
}

}  // namespace quarlo
