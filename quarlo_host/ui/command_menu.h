// The host's main menu as built from a module's command groups: one popup per
// parent group GUID (the host's own groups in their order, then the others in
// order of first appearance), its commands ordered by their group's sort
// priority, each named and flagged by display_state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quarlo/guid.h"
#include "quarlo/mainmenu_commands.h"
#include "quarlo/module_client.h"
#include "quarlo/service_ref.h"

namespace quarlo_host {

// Bits of display_state's flags as this host reads them.
inline constexpr uint32_t command_flag_disabled = 1;
inline constexpr uint32_t command_flag_checked = 2;

struct menu_command {
  mainmenu_commands* group = nullptr;
  uint32_t index = 0;
  GUID guid{};
  std::string text;
  uint32_t flags = 0;
};

struct menu_popup {
  GUID parent{};
  std::string label;
  std::vector<menu_command> commands;
};

// One counted reference per mainmenu_commands instance the module's factory
// chain offers, in chain order.
std::vector<service_ref> find_command_groups(module_client& client);

// The popups for groups, which must outlive the result. A command whose
// display_state answers false is left out, and so is a popup left empty.
std::vector<menu_popup> build_command_menu(const std::vector<service_ref>& groups);

}  // namespace quarlo_host
