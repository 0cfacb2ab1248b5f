// The factory record of a main-menu command group T, with its own table.
#pragma once

#include "service/service_factory_single_t.h"

template <class T>
class mainmenu_commands_factory_t final : public service_factory_single_t<T> {};
