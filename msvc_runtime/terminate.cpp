// What ends the process when an exception cannot be handled: std::terminate,
// and the helper the compiler calls when an exception tries to leave a
// noexcept function.
#include <stdlib.h>

#include <exception>

[[noreturn]] void std::terminate() noexcept { abort(); }

extern "C" [[noreturn]] void __cdecl __std_terminate() { abort(); }
