// The module-wide list of settings_var records, in the order saving writes them
// and loading searches them. This module links none; the list must not change
// while a save or load runs.
#pragma once

#include "settings/settings_var.h"

// The first setting; null when none is linked.
settings_var* settings_list_head();
// Links var in at the end of the list; a var already on the list stays put.
void link_setting(settings_var& var);
// Takes var off the list; a var not on it is ignored.
void unlink_setting(settings_var& var);
