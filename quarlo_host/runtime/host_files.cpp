#include "quarlo_host/runtime/host_files.h"

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

pe_listing read_pe_file(std::string_view path) {
  std::string bytes;
  if (!read_file(path, bytes)) throw pe_error("cannot read " + std::string(path));
  return parse_pe(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), false);
}

bool read_services_file(std::string_view path, std::vector<service_entry>& out,
                        services_file_error& error) {
  std::string bytes;
  if (!read_file(path, bytes)) {
    error = {0, "cannot read " + std::string(path)};
    return false;
  }
  return parse_services(bytes, out, error);
}

bool file_exists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring program_folder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

}  // namespace quarlo_host
