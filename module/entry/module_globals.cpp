#include "entry/module_globals.h"

host_api* module_host = nullptr;
HINSTANCE module_instance = nullptr;
service_factory_base* factory_list = nullptr;
// Constant-initialised before any factory registers; the exit list frees
// their blocks at unload.
simple_string location_text_1;
simple_string location_text_2;
uint8_t services_flag = 0;
uint8_t services_were_ready = 0;
