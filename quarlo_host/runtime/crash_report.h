// What a crash is told with: the exception code, the faulting address as
// MODULE+0xOFFSET with the module's nearest export before it, and a minidump
// to open in a debugger. Found and written without the heap, which the crash
// may have broken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "quarlo/win32.h"

namespace quarlo_host {

// "exception 0xC0000005 at checker_run_crashes.dll+0x1A2B (checker_crash_here+0x1B),
// writing 0x00000000" into text, cut to size and always terminated. Only
// printable ASCII without quotes or backslashes, so it goes into JSON as it is.
void describe_crash(const EXCEPTION_RECORD& record, char* text, size_t size);

// details, a crash's text from describe_crash, with the function that the
// program database beside module_path (the same name, .pdb) names at the
// crash's offset in that module put where the nearest export stood. Unchanged
// when the crash was in another module, or there is no such database or no
// function in it there. Not for a crashing process: it takes the heap.
std::string with_pdb_symbol(const std::string& details, const std::string& module_path);

// A minidump of process at the exception that thread_id of it met, whose
// EXCEPTION_POINTERS lie at pointers in that process, to path: 0, or the
// system's error code when it cannot be written. Written from outside: a
// process that writes its own dump while it crashes can wait for ever on what
// the crash left locked.
DWORD write_minidump(HANDLE process, DWORD thread_id, uintptr_t pointers, const wchar_t* path);

// From now on a crash anywhere in this process ends it with one line,
// "quarlo_host: crashed: " and describe_crash's text, on standard error and
// the exception code as its exit status, instead of the system's crash
// dialog or debugger: for the commands that drive a module outside a case.
void end_quietly_on_crash();

}  // namespace quarlo_host
