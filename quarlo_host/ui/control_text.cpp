#include "quarlo_host/ui/control_text.h"

#include "quarlo_host/runtime/utf.h"

namespace quarlo_host {

std::string control_text(HWND dialog, UINT control_id) {
  const HWND control = GetDlgItem(dialog, control_id);
  if (control == nullptr) return {};
  const int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(control, text.data(), length + 1);
  text.resize(static_cast<size_t>(copied));
  return to_utf8(text);
}

}  // namespace quarlo_host
