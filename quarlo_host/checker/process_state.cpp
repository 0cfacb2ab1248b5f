#include "quarlo_host/checker/process_state.h"

#include <clocale>
#include <cstdio>
#include <string>

#include "quarlo_host/runtime/utf.h"

namespace quarlo_host {

namespace {

std::string hex(uintptr_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
  return text;
}

std::string current_directory() {
  wchar_t path[MAX_PATH * 2] = {};
  const DWORD n = GetCurrentDirectoryW(MAX_PATH * 2, path);
  return n == 0 || n >= MAX_PATH * 2 ? "unknown" : to_utf8(std::wstring_view(path, n));
}

// The locale of every C runtime in the process: the host's own and the
// module's may be different DLLs, each with a locale of its own.
std::string c_locales() {
  using setlocale_fn = char*(__cdecl*)(int, const char*);
  std::string text;
  for (const wchar_t* dll : {L"msvcrt.dll", L"ucrtbase.dll"}) {
    const HMODULE runtime = GetModuleHandleW(dll);
    if (runtime == nullptr) continue;
    const auto read = reinterpret_cast<setlocale_fn>(
        reinterpret_cast<void*>(GetProcAddress(runtime, "setlocale")));
    const char* locale = read == nullptr ? nullptr : read(LC_ALL, nullptr);
    if (!text.empty()) text += ", ";
    text += to_utf8(dll) + ": " + (locale == nullptr ? "none" : locale);
  }
  return text;
}

uint16_t x87_control() {
  uint16_t word = 0;
  asm volatile("fnstcw %0" : "=m"(word));
  return word;
}

uint32_t mxcsr() {
  uint32_t word = 0;
  asm volatile("stmxcsr %0" : "=m"(word));
  return word;
}

// The filter and the mode are read by setting them and putting them back.
uintptr_t exception_filter() {
  const LPTOP_LEVEL_EXCEPTION_FILTER filter = SetUnhandledExceptionFilter(nullptr);
  SetUnhandledExceptionFilter(filter);
  return reinterpret_cast<uintptr_t>(filter);
}

UINT error_mode() {
  const UINT mode = SetErrorMode(0);
  SetErrorMode(mode);
  return mode;
}

}  // namespace

state_reading read_process_state(HWND main_window) {
  namespace a = process_aspect;
  state_reading reading = {
      {a::current_directory, current_directory()},
      {a::c_locale, c_locales()},
      {a::thread_locale, hex(GetThreadLocale())},
      {a::x87_control, hex(x87_control())},
      // Exception flags are sticky: they tell that some computation was
      // inexact, not that the module changed how the host's compute.
      {a::mxcsr, hex(mxcsr() & ~0x3Fu)},
      {a::exception_filter, hex(exception_filter())},
      {a::error_mode, hex(error_mode())},
  };
  if (main_window != nullptr) {
    reading.emplace_back(a::window_procedure,
                         hex(static_cast<uintptr_t>(GetWindowLongPtrW(main_window, GWLP_WNDPROC))));
    reading.emplace_back(
        a::window_user_data,
        hex(static_cast<uintptr_t>(GetWindowLongPtrW(main_window, GWLP_USERDATA))));
  }
  return reading;
}

}  // namespace quarlo_host
