// The one function a module exports, cdecl and undecorated.
#pragma once

#include "quarlo/host_api.h"
#include "quarlo/module_client.h"
#include "quarlo/win32.h"

inline constexpr char quarlo_entry_name[] = "quarlo_get_interface";

// Stores host and module_instance in the module and returns its client.
using quarlo_get_interface_fn = module_client*(__cdecl*)(host_api* host, HINSTANCE module_instance);
