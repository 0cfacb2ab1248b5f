// UTF-8 views of dialog control texts. The window system keeps UTF-16; these
// convert both ways, surrogate pairs included, with no limit on the length.
#include <limits>
#include <new>
#include <string>

#include "quarlo/shared_text.h"
#include "quarlo/text_source.h"

namespace {

// The control's whole UTF-16 text; false when the control cannot be read.
bool read_control(HWND control, std::wstring& text) {
  SetLastError(0);
  const int length = GetWindowTextLengthW(control);
  if (length == 0 && GetLastError() != 0) return false;
  // The length is an upper bound; the copy below reports what it really got.
  text.assign(static_cast<size_t>(length) + 1, L'\0');
  SetLastError(0);
  const int got = GetWindowTextW(control, text.data(), length + 1);
  if (got == 0 && length != 0 && GetLastError() != 0) return false;
  text.resize(static_cast<size_t>(got));
  return true;
}

}  // namespace

extern "C" BOOL __cdecl uGetDlgItemText(HWND dialog, UINT control_id, trel::string_base& out) {
  const HWND control = GetDlgItem(dialog, static_cast<int>(control_id));
  if (control == nullptr) return FALSE;
  std::wstring wide;
  int bytes = 0;
  try {
    if (!read_control(control, wide)) return FALSE;
    const int units = static_cast<int>(wide.size());
    bytes = units == 0
                ? 0
                : WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    if (units != 0 && bytes == 0) return FALSE;
  } catch (const std::bad_alloc&) {
    // The host could not hold the text, so the control cannot be read.
    return FALSE;
  }
  // The text goes into the module's string through its own slots only; an
  // allocation failure there is the module's bad_alloc and passes back to it.
  char* area = out.open_write_area(static_cast<uint32_t>(bytes));
  if (bytes != 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), area, bytes,
                        nullptr, nullptr);
  }
  out.close_write_area();
  return TRUE;
}

extern "C" BOOL __cdecl uSetDlgItemTextEx(HWND dialog, UINT control_id, const char* text,
                                          uint32_t length) {
  const size_t bytes = quarlo::source_length(text, length);
  if (bytes > static_cast<size_t>(std::numeric_limits<int>::max())) return FALSE;
  try {
    std::wstring wide;
    if (bytes != 0) {
      const int n = static_cast<int>(bytes);
      const int units = MultiByteToWideChar(CP_UTF8, 0, text, n, nullptr, 0);
      if (units == 0) return FALSE;
      wide.assign(static_cast<size_t>(units), L'\0');
      MultiByteToWideChar(CP_UTF8, 0, text, n, wide.data(), units);
    }
    return SetDlgItemTextW(dialog, static_cast<int>(control_id), wide.c_str());
  } catch (const std::bad_alloc&) {
    return FALSE;
  }
}
