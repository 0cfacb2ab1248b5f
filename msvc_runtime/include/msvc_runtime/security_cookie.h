// The stack cookie that functions compiled with stack protection check on
// return (their frames hold it XORed with the frame address).
#pragma once

#include <stdint.h>

// The value the image is linked with; a loader that sees it in the load
// configuration's SecurityCookie replaces it before the entry point runs.
constexpr uintptr_t default_security_cookie = 0xBB40E64E;

extern "C" uintptr_t __security_cookie;

// Gives the cookie a value of this process unless the loader has already
// done so. The DLL start-up calls it before anything protected runs.
extern "C" void __cdecl __security_init_cookie();
