// Small PE images made in memory for the tests and the fuzz target of the PE
// reader and of the load explanation: a DLL's headers for a given processor
// and format, and one section that holds its import table and its exports.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct test_import {
  std::string dll;
  // Imported names; "#N" imports ordinal N.
  std::vector<std::string> names;
};

struct test_image_layout {
  static constexpr uint32_t nt = 0x40;
  static constexpr uint32_t section_rva = 0x1000;
  static constexpr uint32_t section_file = 0x200;
};

// Writes value's low bytes, little-endian, at v[at], growing v as needed.
inline void put_le(std::vector<uint8_t>& v, size_t at, uint64_t value, unsigned bytes) {
  if (v.size() < at + bytes) v.resize(at + bytes);
  for (unsigned i = 0; i < bytes; ++i) v[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline std::vector<uint8_t> build_pe(uint16_t machine, bool pe32_plus,
                                     const std::vector<test_import>& imports,
                                     const std::vector<std::string>& exports = {},
                                     const std::vector<uint32_t>& export_rvas = {}) {
  using layout = test_image_layout;
  const unsigned thunk = pe32_plus ? 8 : 4;
  const uint64_t ordinal_flag = pe32_plus ? uint64_t{1} << 63 : uint64_t{1} << 31;
  // The section: the descriptors, then for each DLL its lookup table, its
  // address table, the hint/name entries and the DLL's name; then the export
  // directory, its name table, its ordinal and address tables (export i at
  // export_rvas[i], when given) and the names.
  std::vector<uint8_t> section((imports.size() + 1) * 20, 0);
  const auto add_text = [&section](const std::string& text) {
    const auto rva = static_cast<uint32_t>(layout::section_rva + section.size());
    section.insert(section.end(), text.begin(), text.end());
    section.push_back(0);
    return rva;
  };
  for (size_t d = 0; d < imports.size(); ++d) {
    const std::vector<std::string>& names = imports[d].names;
    const size_t lookup = section.size();
    const size_t address = lookup + (names.size() + 1) * thunk;
    section.resize(address + (names.size() + 1) * thunk, 0);
    for (size_t i = 0; i < names.size(); ++i) {
      uint64_t entry = 0;
      if (names[i][0] == '#') {
        entry = ordinal_flag | std::stoul(names[i].substr(1));
      } else {
        section.push_back(0);  // the hint
        section.push_back(0);
        entry = add_text(names[i]) - 2;
      }
      put_le(section, lookup + i * thunk, entry, thunk);
      put_le(section, address + i * thunk, entry, thunk);
    }
    put_le(section, d * 20, layout::section_rva + lookup, 4);
    put_le(section, d * 20 + 12, add_text(imports[d].dll), 4);
    put_le(section, d * 20 + 16, layout::section_rva + address, 4);
  }
  const size_t export_directory = section.size();
  if (!exports.empty()) {
    const size_t names = export_directory + 40;
    const size_t ordinals = names + 4 * exports.size();
    const size_t addresses = ordinals + 2 * exports.size();
    section.resize(addresses + 4 * export_rvas.size(), 0);
    put_le(section, export_directory + 20, export_rvas.size(), 4);
    put_le(section, export_directory + 24, exports.size(), 4);
    put_le(section, export_directory + 28, layout::section_rva + addresses, 4);
    put_le(section, export_directory + 32, layout::section_rva + names, 4);
    put_le(section, export_directory + 36, layout::section_rva + ordinals, 4);
    for (size_t i = 0; i < exports.size(); ++i) {
      put_le(section, ordinals + 2 * i, i, 2);
      if (i < export_rvas.size()) put_le(section, addresses + 4 * i, export_rvas[i], 4);
    }
    for (size_t i = 0; i < exports.size(); ++i) {
      put_le(section, names + 4 * i, add_text(exports[i]), 4);
    }
  }

  std::vector<uint8_t> image(layout::section_file, 0);
  image[0] = 'M';
  image[1] = 'Z';
  put_le(image, 0x3C, layout::nt, 4);
  put_le(image, layout::nt, 0x4550, 4);  // "PE\0\0"
  put_le(image, layout::nt + 4, machine, 2);
  put_le(image, layout::nt + 6, 1, 2);  // one section
  const uint32_t optional_size = pe32_plus ? 240 : 224;
  put_le(image, layout::nt + 20, optional_size, 2);
  put_le(image, layout::nt + 22, 0x2102, 2);  // an executable DLL
  const uint32_t optional = layout::nt + 24;
  put_le(image, optional, pe32_plus ? 0x20B : 0x10B, 2);
  put_le(image, optional + 56, layout::section_rva + section.size(), 4);  // SizeOfImage
  put_le(image, optional + (pe32_plus ? 108 : 92), 16, 4);
  const uint32_t directories = optional + (pe32_plus ? 112 : 96);
  if (!exports.empty()) {
    put_le(image, directories, layout::section_rva + export_directory, 4);
    put_le(image, directories + 4, 40, 4);
  }
  if (!imports.empty()) {
    put_le(image, directories + 8, layout::section_rva, 4);
    put_le(image, directories + 12, (imports.size() + 1) * 20, 4);
  }
  const uint32_t header = optional + optional_size;
  std::memcpy(image.data() + header, ".idata", 6);
  put_le(image, header + 8, section.size(), 4);
  put_le(image, header + 12, layout::section_rva, 4);
  put_le(image, header + 16, section.size(), 4);
  put_le(image, header + 20, layout::section_file, 4);
  image.insert(image.end(), section.begin(), section.end());
  return image;
}

// An image's bytes as a string, as a file holds them.
inline std::string image_text(const std::vector<uint8_t>& image) {
  return std::string(image.begin(), image.end());
}

// A 64-bit DLL with one import.
inline std::vector<uint8_t> x64_dll() {
  return build_pe(0x8664, true, {{"KERNEL32.dll", {"ExitProcess"}}});
}

// A module's bytes with its import of quarlo_shared.dll renamed to a DLL that
// exists nowhere (the names are equally long); unchanged without that import.
inline std::string with_absent_import(std::string bytes) {
  const size_t at = bytes.find("quarlo_shared.dll");
  if (at != std::string::npos) bytes.replace(at, 17, "quarlo_absent.dll");
  return bytes;
}
