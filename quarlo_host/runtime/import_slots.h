// The import address table of a module loaded in this process: the slots the
// loader filled with the addresses of the functions the module imports.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string_view>

#include "quarlo/win32.h"

namespace quarlo_host {

// Calls visit(dll, name, slot) for every import-by-name slot of a loaded module.
using import_slot_visitor =
    std::function<void(std::string_view dll, std::string_view name, void** slot)>;
void visit_import_slots(HMODULE module, const import_slot_visitor& visit);

// One function a module imports, to redirect: its name, the host's function
// to call instead, and where to keep what the slot held (the real function).
struct import_hook {
  std::string_view name;
  void* hook;
  void** real;
};

// The hook for name, where hook and the kept function have the same type.
template <typename Fn>
import_hook typed_hook(std::string_view name, Fn hook, Fn& real) {
  return {name, reinterpret_cast<void*>(hook), reinterpret_cast<void**>(&real)};
}

// Points the module's slots of the functions named in hooks, imported from
// dll (any case), at their hooks; returns how many slots it patched. Throws
// std::runtime_error when a slot's page cannot be made writable.
uint32_t hook_imports(HMODULE module, std::string_view dll,
                      std::initializer_list<import_hook> hooks);

}  // namespace quarlo_host
