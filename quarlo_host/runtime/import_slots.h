// The import address table of a module loaded in this process: the slots the
// loader filled with the addresses of the functions the module imports.
#pragma once

#include <functional>
#include <string_view>

#include "quarlo/win32.h"

namespace quarlo_host {

// Calls visit(dll, name, slot) for every import-by-name slot of a loaded module.
using import_slot_visitor =
    std::function<void(std::string_view dll, std::string_view name, void** slot)>;
void visit_import_slots(HMODULE module, const import_slot_visitor& visit);

// Points one slot at hook, so the module calls the host's function instead;
// throws std::runtime_error when the slot's page cannot be made writable.
void patch_import_slot(void** slot, void* hook);

}  // namespace quarlo_host
