// A module's client and services as stable text, one fact a line:
//
//   file_version 1.0.0.0      (the DLL's version resource; "none" without one)
//   client_version 71
//   debug_build false
//   factory 0 class {35077B8C-6E70-47BA-B9DD-D51500E12F2E}
//   factory 0 mainmenu_commands parent_group {GUID} sort_priority 0x80000000 commands 1
//   factory 0 command 0 guid {GUID} description no name Tamsel Tool
//   factories 1
//
// Factories are numbered along the module's chain from 0. The two lines after
// a factory's class appear only for the mainmenu_commands class; the command
// line repeats per command, and a command with a description ("description
// yes") is followed by "factory F command C description_text TEXT". Names and
// texts are the module's UTF-8 bytes, last on their line. GUIDs are braced,
// upper-case; the sort priority is 8 hex digits. Problems are reported on
// lines starting with "error ".
#pragma once

#include <ostream>

#include "quarlo/module_client.h"

namespace quarlo_host {

void inspect_module(module_client& client, std::ostream& out);

}  // namespace quarlo_host
