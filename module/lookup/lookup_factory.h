// The static factory record of the lookup command group; it links itself into
// factory_list while the library loads.
#pragma once

#include "lookup/mainmenu_commands_factory_t.h"
#include "lookup/mainmenu_commands_lookup.h"

extern mainmenu_commands_factory_t<mainmenu_commands_lookup> lookup_commands_factory;
