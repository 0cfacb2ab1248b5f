// The two text functions of quarlo_shared.dll: a dialog control's text as UTF-8.
#pragma once

#include <stdint.h>

#include "quarlo/string_base.h"
#include "quarlo/win32.h"

extern "C" {
// Reads the control's whole text as UTF-8 into out through its string_base
// slots; returns 0 and leaves out untouched when the control cannot be read.
BOOL __cdecl uGetDlgItemText(HWND dialog, UINT control_id, trel::string_base& out);
// Sets the control's text from length bytes of UTF-8 (all ones: up to the NUL).
BOOL __cdecl uSetDlgItemTextEx(HWND dialog, UINT control_id, const char* text, uint32_t length);
}
