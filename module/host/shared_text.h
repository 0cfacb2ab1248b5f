// The two text functions of the host's shared library (quarlo_shared.dll): they
// read and write a dialog control's text as UTF-8.
#pragma once

#include <stdint.h>

#include "host/win_types.h"
#include "trel/string_base.h"

#ifdef _WIN32
extern "C" {
// Reads the control's whole text as UTF-8 into out through its string_base
// slots; returns 0 and leaves out untouched when the control cannot be read.
__declspec(dllimport) BOOL
    __cdecl uGetDlgItemText(HWND dialog, UINT control_id, trel::string_base& out);
// Sets the control's text from length bytes of UTF-8 (all ones: up to the NUL).
__declspec(dllimport) BOOL
    __cdecl uSetDlgItemTextEx(HWND dialog, UINT control_id, const char* text, uint32_t length);
}
#endif
