#include "quarlo_host/runtime/read_file.h"

#include "quarlo/win32.h"
#include "quarlo_host/runtime/utf.h"

namespace quarlo_host {

bool read_file(std::string_view path, std::string& out) {
  const HANDLE file = CreateFileW(to_wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(file, &size) != 0 && size.QuadPart <= (256 << 20);
  std::string bytes;
  if (ok) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    ok = bytes.empty() ||
         (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) != 0 &&
          got == bytes.size());
  }
  CloseHandle(file);
  if (ok) out = std::move(bytes);
  return ok;
}

}  // namespace quarlo_host
