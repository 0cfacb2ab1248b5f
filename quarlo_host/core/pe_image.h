// A reader of PE images (PE32 and PE32+): the processor they are built for,
// their export names and their imports by DLL. Malformed images throw
// pe_error; no byte outside the given ones is ever read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "quarlo_host/core/pe_error.h"
#include "quarlo_host/core/pe_view.h"

namespace quarlo_host {

// Machine field values of the images the host tells apart.
constexpr uint16_t pe_machine_x86 = 0x14C;
constexpr uint16_t pe_machine_x64 = 0x8664;
constexpr uint16_t pe_machine_arm64 = 0xAA64;

struct pe_import {
  std::string dll;
  // Imported names in table order; an import by ordinal reads "#<ordinal>".
  std::vector<std::string> names;
};

struct pe_listing {
  std::vector<std::string> exports;
  std::vector<pe_import> imports;
  // The file header's machine field.
  uint16_t machine = 0;
  // True for a PE32+ optional header, the format of 64-bit images.
  bool pe32_plus = false;
};

// Parses image bytes: as laid out in a file (mapped false) or as the loader
// mapped them (mapped true, addresses are offsets from data).
pe_listing parse_pe(const uint8_t* data, size_t size, bool mapped);

// A named export and where it starts.
struct pe_symbol {
  // Empty when no named export starts at or before the address asked for.
  std::string_view name;
  uint32_t rva = 0;
};

// The named export that starts nearest at or before rva, forwarders aside:
// what an address in code can be named after when no debug symbols are at
// hand. Allocates nothing, so a crash handler can ask.
pe_symbol nearest_export(pe_view& view, uint32_t rva);

}  // namespace quarlo_host
