// Fuzzes the detector against the plain reference, on a NUL-terminated heap copy
// of the input so AddressSanitizer sees any read past the NUL, and checks that a
// found run parses like the reference parser says, every field for a full-width run.
// The copy starts 0-15 bytes into its block, after hex digits that must not count.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "guid_reference.h"
#include "host/guid.h"
#include "lookup/guid_detector.h"
#include "lookup/guid_parser.h"
#include "trel/string_base.h"

namespace {

// Records what the detector hands over and fails on anything else.
class capture final : public trel::string_base {
 public:
  void append_text(const char*, uint32_t) override { std::abort(); }
  const char* current_text() override { std::abort(); }
  void assign_text(const char* text, uint32_t length) override {
    if (calls++ != 0) std::abort();
    this->text = text;
    this->length = length;
  }
  void shorten(uint32_t) override { std::abort(); }
  uint32_t text_length() override { std::abort(); }
  char* open_write_area(uint32_t) override { std::abort(); }
  void close_write_area() override { std::abort(); }

  const char* text = nullptr;
  uint32_t length = 0;
  int calls = 0;
};

void check(bool ok) {
  if (!ok) std::abort();
}

// Parses text into two records pre-filled with different patterns and checks
// that exactly the reference's prefix of fields was written, with its values.
void check_parse_of_match(const std::string& text) {
  GUID a, b, want_a, want_b;
  std::memset(&a, 0x00, sizeof a);
  std::memset(&b, 0xFF, sizeof b);
  want_a = a;
  want_b = b;
  const size_t groups = guid_reference::parse(text.c_str(), want_a);
  guid_reference::parse(text.c_str(), want_b);
  guid_parser(text.c_str(), a);
  guid_parser(text.c_str(), b);
  check(guid_equal(a, want_a) && guid_equal(b, want_b));
  // A run with every group at full width, 8-4-4-4-12, is read in full.
  if (text.size() == 36) check(groups == 5 && guid_equal(a, b));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t shift = size % 16;
  std::unique_ptr<char[]> block(new char[shift + size + 1]);
  std::memset(block.get(), '1', shift);
  char* const text = block.get() + shift;
  std::memcpy(text, data, size);
  text[size] = '\0';

  capture out;
  const bool found = guid_detector(text, out);
  const guid_reference::match want = guid_reference::detect(text);
  check(found == want.found);
  check(out.calls == (found ? 1 : 0));
  if (!found) return 0;
  check(out.text == text + want.offset && out.length == want.length);
  check_parse_of_match(std::string(out.text, out.length));
  return 0;
}
