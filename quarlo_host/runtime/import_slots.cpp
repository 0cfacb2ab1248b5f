#include "quarlo_host/runtime/import_slots.h"

#include <cstdint>
#include <stdexcept>

#include "quarlo_host/core/pe_view.h"

namespace quarlo_host {

void visit_import_slots(HMODULE module, const import_slot_visitor& visit) {
  auto* base = reinterpret_cast<uint8_t*>(module);
  // The loader checked these headers; they give the size of the mapped image.
  const auto& dos = *reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto& nt = *reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos.e_lfanew);
  pe_view view(base, nt.OptionalHeader.SizeOfImage, true);
  view.for_each_import([&](const pe_import_descriptor& d, std::string_view dll) {
    // Without the name table the loader's bound addresses are all there is.
    if (d.name_table == 0) return;
    for (uint64_t i = 0;; ++i) {
      const uint64_t step = i * view.thunk_size();
      const uint64_t entry = view.thunk(pe_view::rva_plus(d.name_table, step));
      if (entry == 0) break;
      if (view.by_ordinal(entry)) continue;
      const uint32_t slot_rva = pe_view::rva_plus(d.address_table, step);
      view.thunk(slot_rva);
      auto** slot = reinterpret_cast<void**>(base + slot_rva);
      visit(dll, view.import_name(entry), slot);
    }
  });
}

namespace {

void patch(void** slot, void* hook) {
  DWORD old = 0;
  if (VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old) == 0) {
    throw std::runtime_error("cannot unprotect an import slot");
  }
  *slot = hook;
  DWORD ignored = 0;
  VirtualProtect(slot, sizeof(void*), old, &ignored);
  FlushInstructionCache(GetCurrentProcess(), slot, sizeof(void*));
}

}  // namespace

uint32_t hook_imports(HMODULE module, std::string_view dll,
                      std::initializer_list<import_hook> hooks) {
  uint32_t patched = 0;
  visit_import_slots(module, [&](std::string_view from, std::string_view name, void** slot) {
    if (from.size() != dll.size() || _strnicmp(from.data(), dll.data(), dll.size()) != 0) return;
    for (const import_hook& h : hooks) {
      if (name != h.name) continue;
      *h.real = *slot;
      patch(slot, h.hook);
      ++patched;
    }
  });
  return patched;
}

}  // namespace quarlo_host
