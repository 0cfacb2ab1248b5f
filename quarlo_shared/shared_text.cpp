// UTF-8 views of dialog control texts. The window system keeps UTF-16; these
// convert both ways, surrogate pairs included, with no limit on the length.
// The one source builds for both ABIs, so it uses no C++ library: its UTF-16
// buffers are C heap blocks with an owner, freed also when the module's string
// throws while it is being filled.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "quarlo/shared_text.h"
#include "quarlo/text_source.h"

namespace {

// Room for units UTF-16 code units and a NUL; empty when the heap has none.
class wide_buffer final {
 public:
  explicit wide_buffer(size_t units)
      : units_(units < SIZE_MAX / sizeof(wchar_t)
                   ? static_cast<wchar_t*>(malloc((units + 1) * sizeof(wchar_t)))
                   : nullptr) {}
  wide_buffer(const wide_buffer&) = delete;
  wide_buffer& operator=(const wide_buffer&) = delete;
  ~wide_buffer() { free(units_); }

  wchar_t* get() const { return units_; }

 private:
  wchar_t* units_;
};

}  // namespace

extern "C" BOOL __cdecl uGetDlgItemText(HWND dialog, UINT control_id, trel::string_base& out) {
  const HWND control = GetDlgItem(dialog, static_cast<int>(control_id));
  if (control == nullptr) return FALSE;
  SetLastError(0);
  const int length = GetWindowTextLengthW(control);
  if (length == 0 && GetLastError() != 0) return FALSE;
  // The length is an upper bound; the copy reports what it really got. A text
  // the host cannot hold leaves the control unreadable.
  const wide_buffer wide(static_cast<size_t>(length));
  if (wide.get() == nullptr) return FALSE;
  SetLastError(0);
  const int units = GetWindowTextW(control, wide.get(), length + 1);
  if (units == 0 && length != 0 && GetLastError() != 0) return FALSE;
  const int bytes =
      units == 0 ? 0
                 : WideCharToMultiByte(CP_UTF8, 0, wide.get(), units, nullptr, 0, nullptr, nullptr);
  if (units != 0 && bytes == 0) return FALSE;
  // The text goes into the module's string through its own slots only; an
  // allocation failure there is the module's bad_alloc and passes back to it.
  char* area = out.open_write_area(static_cast<uint32_t>(bytes));
  if (bytes != 0) WideCharToMultiByte(CP_UTF8, 0, wide.get(), units, area, bytes, nullptr, nullptr);
  out.close_write_area();
  return TRUE;
}

extern "C" BOOL __cdecl uSetDlgItemTextEx(HWND dialog, UINT control_id, const char* text,
                                          uint32_t length) {
  const size_t bytes = quarlo::source_length(text, length);
  if (bytes > static_cast<size_t>(INT32_MAX)) return FALSE;
  const int n = static_cast<int>(bytes);
  const int units = n == 0 ? 0 : MultiByteToWideChar(CP_UTF8, 0, text, n, nullptr, 0);
  if (n != 0 && units == 0) return FALSE;
  const wide_buffer wide(static_cast<size_t>(units));
  if (wide.get() == nullptr) return FALSE;
  if (units != 0) MultiByteToWideChar(CP_UTF8, 0, text, n, wide.get(), units);
  wide.get()[units] = L'\0';
  return SetDlgItemTextW(dialog, static_cast<int>(control_id), wide.get());
}
