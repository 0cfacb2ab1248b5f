// A dialog control's text as UTF-8, read through the window system.
#pragma once

#include <string>

#include "quarlo/win32.h"

namespace quarlo_host {

// The whole text of the dialog's control; empty when there is no such control.
std::string control_text(HWND dialog, UINT control_id);

}  // namespace quarlo_host
