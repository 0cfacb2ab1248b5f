#include "lookup/guid_parser.h"

#include <stddef.h>
#include <stdint.h>

#include "lookup/hex_digit.h"

namespace {

// Walks the text by offsets from its start and never beyond its end, the first "}"
// or the NUL, so no position past the text is ever formed.
class group_reader final {
 public:
  explicit group_reader(const char* text) : text_(text) {
    if (text_[0] == '{') pos_ = 1;
    end_ = pos_;
    while (text_[end_] != '\0' && text_[end_] != '}') ++end_;
  }

  // True when a group of n characters fits before the end; a group may end on it.
  bool fits(size_t n) const { return end_ - pos_ >= n; }

  // The byte value of the two characters at offset k within the current group.
  uint32_t pair(size_t k) const {
    return hex_digit::value(text_[pos_ + k]) * 16 + hex_digit::value(text_[pos_ + k + 1]);
  }

  // Moves past a group of n characters and any dashes after it.
  void next_group(size_t n) {
    pos_ += n;
    while (pos_ != end_ && text_[pos_] == '-') ++pos_;
  }

 private:
  const char* text_;
  size_t pos_ = 0;
  size_t end_ = 0;
};

}  // namespace

void guid_parser(const char* text, GUID& out) {
  if (text == nullptr) return;
  group_reader in(text);

  if (!in.fits(8)) return;
  out.Data1 = in.pair(0) << 24 | in.pair(2) << 16 | in.pair(4) << 8 | in.pair(6);
  in.next_group(8);

  if (!in.fits(4)) return;
  out.Data2 = static_cast<uint16_t>(in.pair(0) << 8 | in.pair(2));
  in.next_group(4);

  if (!in.fits(4)) return;
  out.Data3 = static_cast<uint16_t>(in.pair(0) << 8 | in.pair(2));
  in.next_group(4);

  if (!in.fits(4)) return;
  out.Data4[0] = static_cast<uint8_t>(in.pair(0));
  out.Data4[1] = static_cast<uint8_t>(in.pair(2));
  in.next_group(4);

  if (!in.fits(12)) return;
  for (size_t k = 2; k < 8; ++k) out.Data4[k] = static_cast<uint8_t>(in.pair(2 * (k - 2)));
}
