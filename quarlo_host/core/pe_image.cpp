#include "quarlo_host/core/pe_image.h"

#include "quarlo_host/core/pe_view.h"

namespace quarlo_host {

namespace {

std::vector<std::string> list_exports(pe_view& view) {
  std::vector<std::string> names;
  const uint32_t directory = view.directory(pe_view::export_directory);
  if (directory == 0) return names;
  const uint32_t count = view.u32(pe_view::rva_plus(directory, 24));
  const uint32_t table = view.u32(pe_view::rva_plus(directory, 32));
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t name = view.u32(pe_view::rva_plus(table, uint64_t{4} * i));
    names.emplace_back(view.text(name));
  }
  return names;
}

std::vector<pe_import> list_imports(pe_view& view) {
  std::vector<pe_import> imports;
  view.for_each_import([&](const pe_import_descriptor& d, std::string_view dll) {
    pe_import entry{std::string(dll), {}};
    const uint32_t table = d.name_table != 0 ? d.name_table : d.address_table;
    for (uint64_t i = 0;; ++i) {
      const uint64_t thunk = view.thunk(pe_view::rva_plus(table, i * view.thunk_size()));
      if (thunk == 0) break;
      entry.names.push_back(view.by_ordinal(thunk) ? "#" + std::to_string(thunk & 0xFFFFu)
                                                   : std::string(view.import_name(thunk)));
    }
    imports.push_back(std::move(entry));
  });
  return imports;
}

}  // namespace

pe_listing parse_pe(const uint8_t* data, size_t size, bool mapped) {
  pe_view view(data, size, mapped);
  pe_listing listing;
  listing.machine = view.machine();
  listing.pe32_plus = view.pe32_plus();
  listing.exports = list_exports(view);
  listing.imports = list_imports(view);
  return listing;
}

pe_symbol nearest_export(pe_view& view, uint32_t rva) {
  pe_symbol best;
  const uint32_t directory = view.directory(pe_view::export_directory);
  if (directory == 0) return best;
  const uint32_t directory_end =
      pe_view::rva_plus(directory, view.directory_size(pe_view::export_directory));
  const uint32_t function_count = view.u32(pe_view::rva_plus(directory, 20));
  const uint32_t name_count = view.u32(pe_view::rva_plus(directory, 24));
  const uint32_t functions = view.u32(pe_view::rva_plus(directory, 28));
  const uint32_t names = view.u32(pe_view::rva_plus(directory, 32));
  const uint32_t ordinals = view.u32(pe_view::rva_plus(directory, 36));
  for (uint32_t i = 0; i < name_count; ++i) {
    const uint16_t index = view.u16(pe_view::rva_plus(ordinals, uint64_t{2} * i));
    if (index >= function_count) continue;
    const uint32_t start = view.u32(pe_view::rva_plus(functions, uint64_t{4} * index));
    // A forwarder's address names a text inside the export directory.
    const bool forwarder = start >= directory && start < directory_end;
    if (forwarder || start > rva || (!best.name.empty() && start <= best.rva)) continue;
    best = {view.text(view.u32(pe_view::rva_plus(names, uint64_t{4} * i))), start};
  }
  return best;
}

}  // namespace quarlo_host
