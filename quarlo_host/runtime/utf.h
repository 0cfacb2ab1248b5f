// Text between the host's UTF-8 and the window system's UTF-16: conversions,
// and a dialog control's text read as UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "quarlo/win32.h"

namespace quarlo_host {

// Invalid sequences become U+FFFD.
std::wstring to_wide(std::string_view utf8);
std::string to_utf8(std::wstring_view wide);

// The whole text of the dialog's control; empty when there is no such control.
std::string control_text(HWND dialog, UINT control_id);

}  // namespace quarlo_host
