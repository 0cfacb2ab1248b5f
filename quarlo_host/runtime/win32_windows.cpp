#include "quarlo_host/runtime/win32_windows.h"

namespace quarlo_host {

namespace {

BOOL CALLBACK collect(HWND window, LPARAM into) {
  reinterpret_cast<std::vector<HWND>*>(into)->push_back(window);
  return TRUE;
}

}  // namespace

std::wstring class_name(HWND window) {
  wchar_t name[256] = {};
  const int n = GetClassNameW(window, name, 256);
  return std::wstring(name, n > 0 ? n : 0);
}

bool is_dialog(HWND window) { return class_name(window) == L"#32770"; }

std::vector<HWND> top_level_windows(DWORD thread) {
  std::vector<HWND> all;
  EnumThreadWindows(thread, collect, reinterpret_cast<LPARAM>(&all));
  return all;
}

std::vector<HWND> descendants(HWND window) {
  std::vector<HWND> all;
  EnumChildWindows(window, collect, reinterpret_cast<LPARAM>(&all));
  return all;
}

LPARAM key_lparam(UINT virtual_key, bool release) {
  const UINT scan = MapVirtualKeyW(virtual_key, MAPVK_VK_TO_VSC);
  LPARAM value = 1 | static_cast<LPARAM>(scan << 16);
  if (release) value |= static_cast<LPARAM>(0xC0000000u);
  return value;
}

}  // namespace quarlo_host
