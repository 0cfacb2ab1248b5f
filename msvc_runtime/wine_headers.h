// Force-included before every source of the Microsoft-ABI build, which takes
// its Windows and C runtime headers from Wine's (libwine-dev): they are the
// real declarations, and two settings make them fit this build.
#pragma once

// wchar_t has 16 bits in this ABI: WCHAR is wchar_t, as in Windows' own
// headers and in mingw's (Wine's would otherwise take char16_t in C++).
#define WINE_UNICODE_NATIVE

// On 32-bit x86 Wine's headers define eight 64-bit interlocked operations as
// inline functions under names that clang reserves for its own builtins, which
// clang rejects. Nothing here uses them: give Wine's inline versions other
// names so both can exist.
#define _InterlockedAnd64 wine_InterlockedAnd64
#define _InterlockedCompareExchangePointer wine_InterlockedCompareExchangePointer
#define _InterlockedDecrement64 wine_InterlockedDecrement64
#define _InterlockedExchangeAdd64 wine_InterlockedExchangeAdd64
#define _InterlockedExchangePointer wine_InterlockedExchangePointer
#define _InterlockedIncrement64 wine_InterlockedIncrement64
#define _InterlockedOr64 wine_InterlockedOr64
#define _InterlockedXor64 wine_InterlockedXor64
