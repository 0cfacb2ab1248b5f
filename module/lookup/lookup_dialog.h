// The lookup dialog: a modal dialog from the module's template 101 in which the
// user types text, sees the GUID found in it and looks up the named_service
// instance that carries it.
#pragma once

#include "host/win_types.h"

// Runs the dialog owned by owner and returns when it has closed. An exception
// raised while handling a message ends the dialog and is thrown from here
// once the dialog has closed, never through the system's dialog manager.
void run_lookup_dialog(HINSTANCE module, HWND owner);
