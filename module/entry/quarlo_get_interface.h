// The module's only export. It is extern "C" and cdecl, and tamsel.def exports
// it under its plain, undecorated name.
#pragma once

#include "entry/module_client.h"
#include "host/host_api.h"
#include "host/win_types.h"

#ifdef _WIN32
#define TAMSEL_CDECL __cdecl
#else
#define TAMSEL_CDECL
#endif

// Stores host and module_instance in the module globals (a later call
// overwrites them) and returns the module's single client. Cannot fail.
extern "C" module_client* TAMSEL_CDECL quarlo_get_interface(host_api* host,
                                                            HINSTANCE module_instance);
