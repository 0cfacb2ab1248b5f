// The module-wide globals: plain variables, one set per loaded module, guarded
// by nothing (the host decides which thread calls in).
#pragma once

#include <stdint.h>

#include "entry/simple_string.h"
#include "host/host_api.h"
#include "host/win_types.h"

class service_factory_base;

// The host's interface, stored by quarlo_get_interface; null before.
extern host_api* module_host;
// The module's instance handle, stored by quarlo_get_interface; null before.
extern HINSTANCE module_instance;
// Head of the chain of factory records; records link themselves in at load.
extern service_factory_base* factory_list;
// The two location texts the host hands over; empty until it does.
extern simple_string location_text_1;
extern simple_string location_text_2;
// The last services_ready byte, and 1 once any services_ready byte was non-zero.
extern uint8_t services_flag;
extern uint8_t services_were_ready;
