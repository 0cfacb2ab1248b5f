#include "quarlo_host/runtime/failed_load.h"

#include <optional>
#include <vector>

#include "quarlo/win32.h"
#include "quarlo_host/core/load_failure.h"
#include "quarlo_host/runtime/host_files.h"
#include "quarlo_host/runtime/utf.h"

namespace quarlo_host {

namespace {

// Folders end in a separator, as program_folder's does.
std::wstring folder_of(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? L".\\" : path.substr(0, slash + 1);
}

std::wstring system_folder() {
  std::wstring path(MAX_PATH, L'\0');
  const UINT n = GetSystemDirectoryW(path.data(), static_cast<UINT>(path.size()));
  return n == 0 || n >= path.size() ? std::wstring() : path.substr(0, n) + L"\\";
}

// API set names (api-ms-..., ext-ms-...) name no file: the system maps them.
bool is_api_set(std::string_view dll) {
  const std::string head(dll.substr(0, 4));
  return lstrcmpiA(head.c_str(), "api-") == 0 || lstrcmpiA(head.c_str(), "ext-") == 0;
}

}  // namespace

std::string failed_load_message(std::string_view path, uint32_t error) {
  std::string bytes;
  const bool readable = read_file(path, bytes);
  std::vector<std::wstring> folders = {folder_of(to_wide(path)), program_folder()};
  const std::wstring system = system_folder();
  if (!system.empty()) folders.push_back(system);
  const dll_finder find = [&](std::string_view dll) {
    if (is_api_set(dll)) return true;
    const std::wstring name = to_wide(dll);
    for (const std::wstring& folder : folders) {
      if (file_exists(folder + name)) return true;
    }
    return false;
  };
  const std::optional<std::string_view> contents =
      readable ? std::optional<std::string_view>(bytes) : std::nullopt;
  return explain_load_failure(path, error, contents, find);
}

}  // namespace quarlo_host
