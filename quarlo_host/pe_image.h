// A reader of 32-bit PE images: export names, imports by DLL, and the import
// address table slots of a loaded module. Malformed images throw pe_error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "quarlo/win32.h"

namespace quarlo_host {

class pe_error final : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct pe_import {
  std::string dll;
  // Imported names in table order; an import by ordinal reads "#<ordinal>".
  std::vector<std::string> names;
};

struct pe_listing {
  std::vector<std::string> exports;
  std::vector<pe_import> imports;
};

// Parses image bytes: as laid out in a file (mapped false) or as the loader
// mapped them (mapped true, addresses are offsets from data).
pe_listing parse_pe(const uint8_t* data, size_t size, bool mapped);
// Reads and parses the file at a UTF-8 path.
pe_listing read_pe_file(std::string_view path);

// Calls visit(dll, name, slot) for every import-by-name slot of a loaded module.
using import_slot_visitor =
    std::function<void(std::string_view dll, std::string_view name, void** slot)>;
void visit_import_slots(HMODULE module, const import_slot_visitor& visit);

}  // namespace quarlo_host
