// Pictures of windows as 24-bit BMP files.
#pragma once

#include <string_view>

#include "quarlo/win32.h"

namespace quarlo_host {

// Paints window (frame, caption and children) afresh and saves what it shows
// to a 24-bit BMP at a UTF-8 path. False when the window or the file fails.
bool save_window_bitmap(HWND window, std::string_view path);

}  // namespace quarlo_host
