// A reader of PE images (PE32 and PE32+): the processor they are built for,
// their export names and their imports by DLL. Malformed images throw
// pe_error; no byte outside the given ones is ever read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "quarlo_host/core/pe_error.h"

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

}  // namespace quarlo_host
