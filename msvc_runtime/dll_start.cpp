// The DLL's entry point, in place of the Microsoft C runtime's start-up. On
// attach it first gives the stack cookie its value, then runs the static
// constructors the compiler lists between the sections .CRT$XCA and .CRT$XCZ
// (the linker sorts .CRT$XCU, where they go, in between). The destructors
// those constructors register through atexit go into a table of this DLL's
// own and run in reverse order when the DLL is unloaded: msvcrt.dll's atexit
// would run them at process exit instead, after the code is gone. (No Windows
// or C runtime header here: both declare an atexit of msvcrt.dll's, which
// this one replaces.)
#include <stddef.h>

#include "msvc_runtime/security_cookie.h"

namespace {

constexpr unsigned long process_detach = 0;
constexpr unsigned long process_attach = 1;

using action = void(__cdecl*)();

// Room for every static destructor of one DLL of this project, with margin.
constexpr size_t exit_list_capacity = 64;
action exit_list[exit_list_capacity];
size_t exit_list_size = 0;

}  // namespace

#pragma section(".CRT$XCA", long, read)
#pragma section(".CRT$XCZ", long, read)
extern "C" __declspec(allocate(".CRT$XCA")) action __xc_a = nullptr;
extern "C" __declspec(allocate(".CRT$XCZ")) action __xc_z = nullptr;

// Registers a destructor for unload. Fails (non-zero) only when the table is full.
extern "C" int __cdecl atexit(action destructor) {
  if (exit_list_size == exit_list_capacity) return -1;
  exit_list[exit_list_size++] = destructor;
  return 0;
}

// Not protected itself: its frame is entered before the cookie has its value.
extern "C"
    __attribute__((no_stack_protector)) int __stdcall _DllMainCRTStartup(void*,
                                                                         unsigned long reason,
                                                                         void*) {
  if (reason == process_attach) {
    __security_init_cookie();
    // Read through a volatile pointer: the compiler must not assume the two
    // markers are adjacent objects with nothing between them.
    action* volatile first = &__xc_a;
    for (action* at = first + 1; at < &__xc_z; ++at) {
      if (*at != nullptr) (*at)();
    }
  } else if (reason == process_detach) {
    while (exit_list_size != 0) exit_list[--exit_list_size]();
  }
  return 1;
}
