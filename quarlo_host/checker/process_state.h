// Reads the state of the host's process that a module must leave as it found
// it, as the aspects a state_log compares. Each aspect's name is the one the
// process cases judge by.
#pragma once

#include "quarlo/win32.h"
#include "quarlo_host/checker/state_log.h"

namespace quarlo_host::process_aspect {

inline constexpr char current_directory[] = "current directory";
// setlocale(LC_ALL, NULL) of each C runtime loaded in the process.
inline constexpr char c_locale[] = "C locale";
inline constexpr char thread_locale[] = "thread locale";
inline constexpr char x87_control[] = "x87 control word";
inline constexpr char mxcsr[] = "MXCSR";
inline constexpr char exception_filter[] = "unhandled-exception filter";
inline constexpr char error_mode[] = "error mode";
inline constexpr char window_procedure[] = "main window's procedure";
inline constexpr char window_user_data[] = "main window's user data";

}  // namespace quarlo_host::process_aspect

namespace quarlo_host {

// The state now, on the calling thread; the main window's aspects only when
// there is one.
state_reading read_process_state(HWND main_window);

}  // namespace quarlo_host
