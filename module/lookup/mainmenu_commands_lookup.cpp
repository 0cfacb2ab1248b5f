#include "lookup/mainmenu_commands_lookup.h"

#include "entry/module_globals.h"
#include "lookup/lookup_dialog.h"
#include "lookup/lookup_factory.h"
#include "trel/string_receiver.h"

mainmenu_commands_factory_t<mainmenu_commands_lookup> lookup_commands_factory;

// The three words the host reads, then the embedded command group: one table
// pointer, with no field of its own in between or after.
static_assert(sizeof(lookup_commands_factory) == sizeof(service_factory_base) + sizeof(void*),
              "the command group follows its factory record directly");

uint32_t mainmenu_commands_lookup::command_count() { return 1; }

GUID mainmenu_commands_lookup::command_guid(uint32_t index) {
  return index == 0 ? command_guid_0 : null_guid;
}

void mainmenu_commands_lookup::command_name(uint32_t index, trel::string_base& out) {
  if (index == 0) out.assign_text(command_name_0, trel::until_nul);
}

bool mainmenu_commands_lookup::command_description(uint32_t, trel::string_base&) { return false; }

GUID mainmenu_commands_lookup::parent_group() { return parent_group_guid; }

uint32_t mainmenu_commands_lookup::sort_priority() { return priority; }

bool mainmenu_commands_lookup::display_state(uint32_t index, trel::string_base& text,
                                             uint32_t& flags) {
  flags = 0;
  command_name(index, text);
  return true;
}

// The reference is released before anything leaves, so whoever destroys the
// emptied parameter afterwards (the caller in the GNU ABI, this function in
// the Microsoft ABI) releases nothing.
void mainmenu_commands_lookup::run_command(uint32_t index, service_ref callback) {
  try {
    if (index == 0) run_lookup_dialog(module_instance, module_host->main_window());
  } catch (...) {
    callback.reset();
    throw;
  }
  callback.reset();
}
