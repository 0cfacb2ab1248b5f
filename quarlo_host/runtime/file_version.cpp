#include "quarlo_host/runtime/file_version.h"

#include <vector>

#include "quarlo/win32.h"
#include "quarlo_host/runtime/utf.h"

namespace quarlo_host {

std::optional<std::string> file_version(std::string_view path) {
  const std::wstring file = to_wide(path);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<unsigned char> block(size);
  if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data())) return std::nullopt;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
    return std::nullopt;
  }
  const auto& fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
  return std::to_string(HIWORD(fixed.dwFileVersionMS)) + "." +
         std::to_string(LOWORD(fixed.dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed.dwFileVersionLS)) + "." +
         std::to_string(LOWORD(fixed.dwFileVersionLS));
}

}  // namespace quarlo_host
