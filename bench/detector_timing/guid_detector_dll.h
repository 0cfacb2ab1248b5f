// guid_detector.dll: the module's GUID detector behind C functions, built in
// the Microsoft ABI, so that a program of the GNU ABI can time that build.
#pragma once

#include <stdint.h>

extern "C" {

// Runs guid_detector over the NUL-terminated text: the offset of the run it
// finds, or -1 when it finds none.
int32_t __cdecl guid_detector_find(const char* text);

// What built the DLL, as "name=... compiler=... config=... sse2=...".
const char* __cdecl guid_detector_build();
}
