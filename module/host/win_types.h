// Window-system handle types. On Windows they are the real ones; the portable
// core, built natively for unit tests, sees opaque pointers of the same size.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
using HWND = struct HWND__*;
using HINSTANCE = struct HINSTANCE__*;
#endif
