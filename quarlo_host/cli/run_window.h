// `quarlo_host run MODULE.dll [--abi gnu|msvc] [--services FILE] [--screenshot FILE.bmp]`:
// the host's main window with the module's commands in its menu and what the
// host holds in it, for a user to work with until it closes (or, with
// --screenshot, saved as a picture and closed).
#pragma once

#include <optional>
#include <string>

#include "quarlo_host/core/module_abi.h"
#include "quarlo_host/runtime/service_registry.h"

namespace quarlo_host {

struct module_facts {
  std::string path;
  module_abi abi;
  // The file's version resource; none without one.
  std::optional<std::string> version;
};

// What the window shows below its menu: the loaded module's file, ABI and
// version, and the registered named services, one a line with a tab between
// GUID and name, for a user to read and copy. Lines end in CR LF, as an edit
// control wants them.
std::string host_overview(const module_facts& module, service_registry& registry);

}  // namespace quarlo_host
