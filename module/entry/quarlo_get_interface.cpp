#include "entry/quarlo_get_interface.h"

#include "entry/module_globals.h"

extern "C" module_client* TAMSEL_CDECL quarlo_get_interface(host_api* host, HINSTANCE instance) {
  module_host = host;
  module_instance = instance;
  return &the_module_client();
}
