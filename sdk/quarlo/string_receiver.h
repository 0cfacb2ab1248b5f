// The narrowest text interface crossing the boundary: a sink for appended text.
#pragma once

#include <stdint.h>

namespace trel {

// A length of all ones means "up to the terminating NUL".
inline constexpr uint32_t until_nul = 0xFFFFFFFFu;

class string_receiver {
 public:
  // 0: appends bytes of text up to its first NUL or length bytes, whichever comes
  //    first; a null text is an empty source.
  virtual void append_text(const char* text, uint32_t length) = 0;

 protected:
  ~string_receiver() = default;
};

}  // namespace trel
