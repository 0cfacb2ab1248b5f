// Parses bytes as a PE image, as a file and as a mapped image, from an exactly
// sized heap copy so that AddressSanitizer stops any read outside it. The
// bytes are the input itself, or a well-formed image (PE32 or PE32+, with
// imports and exports) that the input patches and cuts short, so that
// headers, tables and offsets go wrong one at a time.
// The reader either throws pe_error with a message or lists what it found,
// and a listing agrees with the headers read by hand (machine field, PE32 or
// PE32+), every name in it stands in the bytes followed by a NUL, and the
// names take no more bytes than the image has. The load explanation of the
// same bytes, with a lookup that the input makes find some DLLs and not
// others, says why a file that is no 32-bit image is refused, and names
// every imported DLL the lookup did not find.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quarlo_host/core/load_failure.h"
#include "quarlo_host/core/pe_image.h"
#include "support/pe_image_builder.h"

using quarlo_host::pe_listing;

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "PE image fuzz: %s\n", what);
  std::abort();
}

void check(bool ok, const char* what) {
  if (!ok) fail(what);
}

uint32_t le(const uint8_t* data, size_t size, size_t at, unsigned bytes) {
  uint32_t v = 0;
  for (unsigned i = 0; i < bytes; ++i) v |= uint32_t{at + i < size ? data[at + i] : 0u} << (8 * i);
  return v;
}

// name followed by a NUL somewhere in the bytes.
bool stands_in(const uint8_t* data, size_t size, const std::string& name) {
  const std::string needle = name + '\0';
  return memmem(data, size, needle.data(), needle.size()) != nullptr;
}

// "#N" with N a 16-bit ordinal in decimal.
bool ordinal_label(const std::string& name) {
  if (name.size() < 2 || name.size() > 6 || name[0] != '#') return false;
  uint32_t value = 0;
  for (size_t i = 1; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
    value = value * 10 + static_cast<uint32_t>(name[i] - '0');
  }
  return value <= 0xFFFF && std::to_string(value) == name.substr(1);
}

std::optional<pe_listing> parse(const uint8_t* data, size_t size, bool mapped) {
  try {
    return quarlo_host::parse_pe(data, size, mapped);
  } catch (const quarlo_host::pe_error& e) {
    check(std::strlen(e.what()) != 0, "pe_error without a message");
    return std::nullopt;
  }
}

void check_listing(const pe_listing& pe, const uint8_t* data, size_t size) {
  const size_t nt = le(data, size, 0x3C, 4);
  check(pe.machine == le(data, size, nt + 4, 2), "machine differs from the header");
  check(pe.pe32_plus == (le(data, size, nt + 24, 2) == 0x20B), "format differs from the header");

  // Names read from the image stand in it; only a few are searched, to keep
  // each run short.
  size_t name_bytes = 0;
  size_t searched = 0;
  const auto read_name = [&](const std::string& name) {
    name_bytes += name.size() + 1;
    check(name.find('\0') == std::string::npos, "a name with a NUL");
    if (searched++ < 16) check(stands_in(data, size, name), "a name not in the image");
  };
  for (const std::string& name : pe.exports) read_name(name);
  for (const quarlo_host::pe_import& dll : pe.imports) {
    read_name(dll.dll);
    // An import by ordinal reads "#N"; a name in the image may start with '#' too.
    for (const std::string& name : dll.names) {
      if (!ordinal_label(name)) read_name(name);
    }
  }
  check(name_bytes <= size, "names take more bytes than the image has");
}

// Windows compares DLL names without regard to ASCII case.
std::string folded(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// Finds a DLL when the parity of its bytes' sum differs from the key's.
bool finds(std::string_view dll, uint8_t key) {
  unsigned sum = 0;
  for (const char c : folded(dll)) sum += static_cast<unsigned char>(c);
  return ((sum ^ key) & 1) != 0;
}

void check_explanation(const std::optional<pe_listing>& pe, const uint8_t* data, size_t size,
                       uint8_t key) {
  constexpr uint32_t errors[] = {126, 193, 127, 1114, 5, 8};
  const uint32_t error = errors[key % 6];
  const std::string message = quarlo_host::explain_load_failure(
      "fuzz.dll", error, std::string_view(reinterpret_cast<const char*>(data), size),
      [key](std::string_view dll) { return finds(dll, key); });
  const std::string prefix = "cannot load fuzz.dll (error " + std::to_string(error) + "): ";
  check(message.compare(0, prefix.size(), prefix) == 0, "explanation without its prefix");
  const auto says = [&message](const std::string& part) {
    return message.find(part, 0) != std::string::npos;
  };
  if (!pe) {
    check(says("Windows DLL"), "a file that is no image is not said to be no DLL");
    return;
  }
  if (pe->pe32_plus || pe->machine != quarlo_host::pe_machine_x86) {
    check(says("while quarlo modules are 32-bit"), "a foreign image is not said to be one");
    return;
  }
  // A DLL imported twice under two spellings is named once, as first spelled.
  const std::string folded_message = folded(message);
  bool missing = false;
  for (const quarlo_host::pe_import& dll : pe->imports) {
    if (finds(dll.dll, key)) continue;
    missing = true;
    check(folded_message.find(folded(dll.dll)) != std::string::npos,
          "a DLL the lookup did not find is not named");
  }
  check(says(", which cannot be found") == missing,
        "dependencies said to be missing when all were found");
}

// A well-formed image changed by the input's patches: each is an operation
// byte, a 16-bit offset (modulo the image's size) and, for writes, the value.
std::vector<uint8_t> patched_image(const uint8_t* data, size_t size) {
  std::vector<uint8_t> image = build_pe((data[0] & 2) != 0 ? 0x8664 : 0x14C, (data[0] & 2) != 0,
                                        {{"KERNEL32.dll", {"ExitProcess", "#7", "GetLastError"}},
                                         {"quarlo_shared.dll", {"uGetDlgItemText"}},
                                         {"libgcc_s_dw2-1.dll", {}}},
                                        {"quarlo_get_interface", "second_export"});
  size_t at = 1;
  const auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  while (at < size && !image.empty()) {
    const uint8_t op = next();
    const size_t offset = (next() | size_t{next()} << 8) % image.size();
    switch (op % 4) {
      case 0:
        image[offset] = next();
        break;
      case 1:
        put_le(image, offset, next() | uint32_t{next()} << 8, 2);
        break;
      case 2:
        put_le(image, offset,
               next() | uint32_t{next()} << 8 | uint32_t{next()} << 16 | uint32_t{next()} << 24, 4);
        break;
      default:
        image.resize(offset);
        break;
    }
  }
  return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t input_size) {
  // An odd first byte: the input is the image; an even one: it patches one.
  std::vector<uint8_t> built;
  const uint8_t* data = input;
  size_t size = input_size;
  if (input_size != 0 && (input[0] & 1) == 0) {
    built = patched_image(input, input_size);
    data = built.data();
    size = built.size();
  }
  const std::unique_ptr<uint8_t[]> exact(new uint8_t[size]);
  if (size != 0) std::memcpy(exact.get(), data, size);
  const std::optional<pe_listing> file = parse(exact.get(), size, false);
  if (file) check_listing(*file, exact.get(), size);
  const std::optional<pe_listing> mapped = parse(exact.get(), size, true);
  if (mapped) check_listing(*mapped, exact.get(), size);
  check_explanation(file, exact.get(), size, input_size != 0 ? input[input_size - 1] : 0);
  return 0;
}
