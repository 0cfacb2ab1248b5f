// The main-menu groups this host offers modules, by GUID, with the titles its
// menu bar gives them. A module's mainmenu_commands group names one of them as
// its parent; a parent the host does not offer still gets a popup of its own.
#pragma once

#include <string>
#include <vector>

#include "quarlo/guid.h"

namespace quarlo_host {

struct menu_group {
  GUID guid;
  const char* title;
};

// In the order of the menu bar.
const std::vector<menu_group>& host_menu_groups();

// The offered group's title, or "Group XXXXXXXX" (the GUID's first field) for
// one the host does not offer.
std::string parent_group_label(const GUID& parent);

// The place of a parent's popup on the menu bar: offered groups first, in
// their order, then all others (host_menu_groups().size()).
size_t menu_group_rank(const GUID& parent);

}  // namespace quarlo_host
