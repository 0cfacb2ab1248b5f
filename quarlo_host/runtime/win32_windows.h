// The Win32 window calls the host's parts share: what class a window is, the
// windows of a thread and below a window, and the lParam of a key message.
#pragma once

#include <string>
#include <vector>

#include "quarlo/win32.h"

namespace quarlo_host {

std::wstring class_name(HWND window);
// A window of the system's dialog class, run by a dialog procedure.
bool is_dialog(HWND window);

// A thread's top-level windows, in z-order.
std::vector<HWND> top_level_windows(DWORD thread);
// Every window below window, at any depth.
std::vector<HWND> descendants(HWND window);

// The lParam of a key message: repeat count 1, the key's scan code, and for a
// release the previous-state and transition bits.
LPARAM key_lparam(UINT virtual_key, bool release);

}  // namespace quarlo_host
