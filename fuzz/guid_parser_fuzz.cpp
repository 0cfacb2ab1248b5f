// Fuzzes the parser against the plain reference on a NUL-terminated heap copy of
// the input, so AddressSanitizer sees any read past the NUL; records start from
// two patterns so fields left alone show up as well as fields written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "guid_reference.h"
#include "host/guid.h"
#include "lookup/guid_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<char[]> text(new char[size + 1]);
  std::memcpy(text.get(), data, size);
  text[size] = '\0';

  for (const int pattern : {0x00, 0xFF}) {
    GUID got, want;
    std::memset(&got, pattern, sizeof got);
    std::memset(&want, pattern, sizeof want);
    guid_parser(text.get(), got);
    guid_reference::parse(text.get(), want);
    if (!guid_equal(got, want)) std::abort();
  }
  return 0;
}
