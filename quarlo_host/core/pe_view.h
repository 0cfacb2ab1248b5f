// Bounds-checked reading of a PE image (PE32 or PE32+), as laid out in a file
// or as the loader mapped it. Fields are assembled byte by byte in
// little-endian order, so any bytes are safe to look at on any host; whatever
// lies outside the image throws pe_error.
//
// The tables and names read through the view are counted against the image's
// size: in a well-formed image they are distinct bytes of it, so a crafted
// image whose tables overlap or repeat cannot make a reader do more work than
// its size allows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace quarlo_host {

// The fields of an import descriptor that the readers use.
struct pe_import_descriptor {
  uint32_t name_table;     // the lookup table (OriginalFirstThunk); 0 when absent
  uint32_t name;           // the DLL name
  uint32_t address_table;  // the slots the loader fills (FirstThunk)
};

class pe_view final {
 public:
  static constexpr unsigned export_directory = 0;
  static constexpr unsigned import_directory = 1;

  // Reads the headers; mapped images take addresses as offsets from data.
  pe_view(const uint8_t* data, size_t size, bool mapped);

  uint16_t machine() const { return machine_; }
  bool pe32_plus() const { return pe32_plus_; }
  // The address of the data directory at index; 0 when the image has none
  // there (also when it has fewer directories).
  uint32_t directory(unsigned index) const;
  // The size of the data directory at index; 0 when the image has none there.
  uint32_t directory_size(unsigned index) const;

  // A 16-bit and a 32-bit field of a table.
  uint16_t u16(uint32_t rva);
  uint32_t u32(uint32_t rva);
  // A lookup table entry: 4 bytes in PE32, 8 in PE32+.
  uint64_t thunk(uint32_t rva);
  uint32_t thunk_size() const { return pe32_plus_ ? 8 : 4; }
  bool by_ordinal(uint64_t entry) const;
  // The NUL-terminated text at rva, which must end inside the image.
  std::string_view text(uint32_t rva);
  // The name of the import whose lookup entry is entry (not by ordinal).
  std::string_view import_name(uint64_t entry);

  // rva + delta, which must stay inside the 32-bit address space of an image.
  static uint32_t rva_plus(uint32_t rva, uint64_t delta);

  // Calls visit(descriptor, dll) for every import descriptor, in table order.
  void for_each_import(
      const std::function<void(const pe_import_descriptor&, std::string_view dll)>& visit);

 private:
  struct section {
    uint32_t virtual_size;
    uint32_t virtual_address;
    uint32_t raw_size;
    uint32_t raw_pointer;
  };

  uint64_t offset_of(uint32_t rva) const;
  // Header fields, by offset from the start of the image.
  uint16_t header16(uint64_t offset) const;
  uint32_t header32(uint64_t offset) const;
  // n bytes at offset: inside the image, and counted against what is left.
  const uint8_t* table_bytes(uint64_t offset, uint64_t n);

  const uint8_t* data_;
  size_t size_;
  bool mapped_;
  size_t left_;
  uint16_t machine_ = 0;
  bool pe32_plus_ = false;
  uint64_t directories_ = 0;
  uint32_t directory_count_ = 0;
  std::vector<section> sections_;
};

}  // namespace quarlo_host
