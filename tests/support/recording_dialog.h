// Stands in for the lookup dialog where there is no window system: the runner
// records how it was called, runs a hook while "open", and can end the dialog
// with an exception, as the real one does when a message handler throws.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>

#include "host/win_types.h"

namespace recording_dialog {

// Forgets every run, the hook and the pending failure.
void reset();
// Runs since the last reset, and the arguments of the last one.
uint32_t runs();
HINSTANCE last_module();
HWND last_owner();
// Called inside each run, while the dialog would be open.
void while_open(std::function<void()> hook);
// The next run ends by throwing this exception, once the dialog has closed.
void end_with(std::exception_ptr failure);

}  // namespace recording_dialog
