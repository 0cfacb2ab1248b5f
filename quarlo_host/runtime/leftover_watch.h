// Watches what one loaded module starts that runs its code later on its own:
// threads (CreateThread, _beginthreadex, _beginthread), thread timers
// (SetTimer without a window) and timer-queue timers, hooks
// (SetWindowsHookExA/W, SetWinEventHook) and vectored exception and continue
// handlers. install patches the module's imports of them and of the calls
// that end them, so what is still set can be listed when a command returns
// or the module unloads, and ended, so that it never runs in unmapped code.
// Threads that started in the module's image some other way are found in a
// snapshot of the process's threads.
// A timer of a window goes with its window, which the window watch follows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quarlo/win32.h"

namespace quarlo_host::leftover_watch {

// Redirects module's imports; forgets what a module watched before started.
uint32_t install(HMODULE module);

// What is still set, each as "a thread timer (id 3)", "a running thread", ...
std::vector<std::string> still_set();

// Suspends the module's threads still running, for good, before its code is
// unmapped under them; what each was.
std::vector<std::string> stop_threads();

// Ends what is still set: stops the threads, kills the timers, removes the
// hooks and handlers.
void end_all();

}  // namespace quarlo_host::leftover_watch
