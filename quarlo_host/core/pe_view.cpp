#include "quarlo_host/core/pe_view.h"

#include <algorithm>
#include <cstring>

#include "quarlo_host/core/pe_error.h"

namespace quarlo_host {

namespace {

constexpr uint16_t dos_signature = 0x5A4D;     // "MZ"
constexpr uint32_t nt_signature = 0x00004550;  // "PE\0\0"
constexpr uint16_t pe32_magic = 0x10B;
constexpr uint16_t pe32_plus_magic = 0x20B;

// Offsets inside the headers.
constexpr uint64_t dos_nt_offset = 0x3C;
constexpr uint64_t file_header = 4;  // after the signature
constexpr uint64_t optional_header = file_header + 20;
constexpr uint64_t section_header_bytes = 40;
constexpr uint64_t import_descriptor_bytes = 20;

uint32_t le16(const uint8_t* p) { return static_cast<uint32_t>(p[0] | p[1] << 8); }

uint32_t le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

pe_view::pe_view(const uint8_t* data, size_t size, bool mapped)
    : data_(data), size_(size), mapped_(mapped), left_(size) {
  if (size_ < 2 || header16(0) != dos_signature) throw pe_error("no MZ signature");
  const uint64_t nt = header32(dos_nt_offset);
  if (header32(nt) != nt_signature) throw pe_error("no PE signature");
  machine_ = header16(nt + file_header);
  const uint16_t section_count = header16(nt + file_header + 2);
  const uint16_t optional_size = header16(nt + file_header + 16);
  const uint16_t magic = header16(nt + optional_header);
  if (magic != pe32_magic && magic != pe32_plus_magic) throw pe_error("neither PE32 nor PE32+");
  pe32_plus_ = magic == pe32_plus_magic;
  directory_count_ = header32(nt + optional_header + (pe32_plus_ ? 108 : 92));
  directories_ = nt + optional_header + (pe32_plus_ ? 112 : 96);
  if (mapped_) return;
  const uint64_t first = nt + optional_header + optional_size;
  for (uint64_t i = 0; i < section_count; ++i) {
    const uint64_t at = first + i * section_header_bytes;
    sections_.push_back(
        {header32(at + 8), header32(at + 12), header32(at + 16), header32(at + 20)});
  }
}

uint32_t pe_view::directory(unsigned index) const {
  return index < directory_count_ ? header32(directories_ + 8 * index) : 0;
}

uint32_t pe_view::directory_size(unsigned index) const {
  return index < directory_count_ ? header32(directories_ + 8 * index + 4) : 0;
}

uint16_t pe_view::u16(uint32_t rva) {
  return static_cast<uint16_t>(le16(table_bytes(offset_of(rva), 2)));
}

uint32_t pe_view::u32(uint32_t rva) { return le32(table_bytes(offset_of(rva), 4)); }

uint64_t pe_view::thunk(uint32_t rva) {
  const uint8_t* p = table_bytes(offset_of(rva), thunk_size());
  return pe32_plus_ ? le32(p) | uint64_t{le32(p + 4)} << 32 : le32(p);
}

bool pe_view::by_ordinal(uint64_t entry) const { return (entry >> (pe32_plus_ ? 63 : 31)) != 0; }

std::string_view pe_view::text(uint32_t rva) {
  const uint64_t offset = offset_of(rva);
  if (offset >= size_) throw pe_error("truncated image");
  const auto start = static_cast<size_t>(offset);
  const size_t reach = std::min(size_ - start, left_);
  const void* nul = std::memchr(data_ + start, 0, reach);
  if (nul == nullptr) {
    throw pe_error(reach < size_ - start ? "tables larger than the image" : "unterminated name");
  }
  const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - (data_ + start));
  table_bytes(offset, length + 1);
  return {reinterpret_cast<const char*>(data_ + start), length};
}

std::string_view pe_view::import_name(uint64_t entry) {
  // The hint/name entry: a 16-bit hint, then the name; its address has 31 bits.
  if (entry > 0x7FFFFFFF) throw pe_error("import entry out of range");
  return text(rva_plus(static_cast<uint32_t>(entry), 2));
}

uint32_t pe_view::rva_plus(uint32_t rva, uint64_t delta) {
  const uint64_t sum = rva + delta;
  if (sum > UINT32_MAX) throw pe_error("address past the image space");
  return static_cast<uint32_t>(sum);
}

void pe_view::for_each_import(
    const std::function<void(const pe_import_descriptor&, std::string_view dll)>& visit) {
  const uint32_t table = directory(import_directory);
  if (table == 0) return;
  for (uint64_t i = 0;; ++i) {
    const uint32_t at = rva_plus(table, i * import_descriptor_bytes);
    const pe_import_descriptor d{u32(at), u32(rva_plus(at, 12)), u32(rva_plus(at, 16))};
    if (d.name == 0 && d.address_table == 0) return;
    visit(d, text(d.name));
  }
}

uint64_t pe_view::offset_of(uint32_t rva) const {
  if (mapped_) return rva;
  for (const section& s : sections_) {
    const uint32_t span = s.virtual_size != 0 ? s.virtual_size : s.raw_size;
    if (rva >= s.virtual_address && rva - s.virtual_address < span) {
      if (rva - s.virtual_address >= s.raw_size) throw pe_error("address in no file data");
      return uint64_t{s.raw_pointer} + (rva - s.virtual_address);
    }
  }
  throw pe_error("address outside every section");
}

uint16_t pe_view::header16(uint64_t offset) const {
  if (offset > size_ || size_ - offset < 2) throw pe_error("truncated image");
  return static_cast<uint16_t>(le16(data_ + offset));
}

uint32_t pe_view::header32(uint64_t offset) const {
  if (offset > size_ || size_ - offset < 4) throw pe_error("truncated image");
  return le32(data_ + offset);
}

const uint8_t* pe_view::table_bytes(uint64_t offset, uint64_t n) {
  if (offset > size_ || size_ - offset < n) throw pe_error("truncated image");
  if (n > left_) throw pe_error("tables larger than the image");
  left_ -= static_cast<size_t>(n);
  return data_ + offset;
}

}  // namespace quarlo_host
