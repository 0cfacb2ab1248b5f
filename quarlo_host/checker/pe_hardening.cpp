#include "quarlo_host/checker/pe_hardening.h"

#include <cstring>

namespace quarlo_host {

namespace {

constexpr size_t lfanew_at = 0x3C;
constexpr size_t file_header_size = 20;
// Offset of DllCharacteristics in both the PE32 and the PE32+ optional header.
constexpr size_t characteristics_at = 70;

template <typename T>
bool read_at(const std::string& bytes, size_t at, T& out) {
  if (at > bytes.size() || bytes.size() - at < sizeof(T)) return false;
  std::memcpy(&out, bytes.data() + at, sizeof(T));
  return true;
}

}  // namespace

std::optional<uint16_t> dll_characteristics(const std::string& image) {
  uint32_t pe_at = 0;
  uint32_t signature = 0;
  uint16_t flags = 0;
  if (image.compare(0, 2, "MZ") != 0 || !read_at(image, lfanew_at, pe_at) ||
      !read_at(image, pe_at, signature) || signature != 0x00004550 ||
      !read_at(image, size_t{pe_at} + 4 + file_header_size + characteristics_at, flags)) {
    return std::nullopt;
  }
  return flags;
}

}  // namespace quarlo_host
