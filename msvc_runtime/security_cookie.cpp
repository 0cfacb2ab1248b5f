// The stack cookie and what the compiler's stack protection calls: the
// check at every protected return, and the failure report, which ends the
// process at once without running any handler (a handler could be the
// overwritten code's next victim).
#include "msvc_runtime/security_cookie.h"

#include <windows.h>

uintptr_t __security_cookie = default_security_cookie;

namespace {

// __fastfail's code for a stack cookie that does not match.
constexpr unsigned int fast_fail_stack_cookie_check_failure = 2;

}  // namespace

extern "C" __declspec(noreturn) void __cdecl __report_gsfailure() {
  __fastfail(fast_fail_stack_cookie_check_failure);
}

extern "C" void __fastcall __security_check_cookie(uintptr_t cookie) {
  if (cookie != __security_cookie) __report_gsfailure();
}

// Not protected itself: the cookie it sets differs from the one its own frame
// would have been stamped with.
extern "C" __attribute__((no_stack_protector)) void __cdecl __security_init_cookie() {
  if (__security_cookie != default_security_cookie) return;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  uintptr_t cookie = now.dwLowDateTime ^ now.dwHighDateTime ^ GetCurrentProcessId() ^
                     GetCurrentThreadId() ^ counter.LowPart ^ counter.HighPart ^
                     reinterpret_cast<uintptr_t>(&cookie);
  // Never the default again, and never a value with zero high bits, which a
  // string overrun could forge.
  if (cookie == default_security_cookie) {
    cookie = default_security_cookie + 1;
  } else if ((cookie & 0xFFFF0000u) == 0) {
    cookie |= (cookie | 0x4711u) << 16;
  }
  __security_cookie = cookie;
}
