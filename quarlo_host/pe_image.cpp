#include "quarlo_host/pe_image.h"

#include <cstring>

#include "quarlo_host/read_file.h"

namespace quarlo_host {

namespace {

// Bounds-checked access to an image by relative virtual address.
class pe_view final {
 public:
  pe_view(const uint8_t* data, size_t size, bool mapped) : data_(data), size_(size) {
    const auto& dos = at<IMAGE_DOS_HEADER>(0);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE) throw pe_error("no MZ signature");
    const auto nt_at = static_cast<size_t>(dos.e_lfanew);
    const auto& nt = at<IMAGE_NT_HEADERS32>(nt_at);
    if (nt.Signature != IMAGE_NT_SIGNATURE) throw pe_error("no PE signature");
    if (nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) throw pe_error("not PE32");
    nt_ = &nt;
    if (!mapped) {
      const size_t first =
          nt_at + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
      for (unsigned i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
        sections_.push_back(at<IMAGE_SECTION_HEADER>(first + i * sizeof(IMAGE_SECTION_HEADER)));
      }
      mapped_ = false;
    }
  }

  const IMAGE_DATA_DIRECTORY& directory(unsigned index) const {
    if (index >= nt_->OptionalHeader.NumberOfRvaAndSizes) throw pe_error("missing directory");
    return nt_->OptionalHeader.DataDirectory[index];
  }

  template <class T>
  const T& at_rva(uint32_t rva) const {
    return at<T>(offset_of(rva));
  }

  // The NUL-terminated text at rva, which must end inside the image.
  std::string_view text_at(uint32_t rva) const {
    const size_t offset = offset_of(rva);
    const void* nul = std::memchr(data_ + offset, 0, size_ - offset);
    if (nul == nullptr) throw pe_error("unterminated name");
    return {reinterpret_cast<const char*>(data_ + offset),
            static_cast<size_t>(static_cast<const uint8_t*>(nul) - (data_ + offset))};
  }

  size_t offset_of(uint32_t rva) const {
    if (mapped_) return rva;
    for (const auto& s : sections_) {
      const uint32_t span = s.Misc.VirtualSize != 0 ? s.Misc.VirtualSize : s.SizeOfRawData;
      if (rva >= s.VirtualAddress && rva - s.VirtualAddress < span) {
        if (rva - s.VirtualAddress >= s.SizeOfRawData) throw pe_error("address in no file data");
        return static_cast<size_t>(s.PointerToRawData) + (rva - s.VirtualAddress);
      }
    }
    throw pe_error("address outside every section");
  }

 private:
  template <class T>
  const T& at(size_t offset) const {
    if (offset > size_ || size_ - offset < sizeof(T)) throw pe_error("truncated image");
    return *reinterpret_cast<const T*>(data_ + offset);
  }

  const uint8_t* data_;
  size_t size_;
  bool mapped_ = true;
  const IMAGE_NT_HEADERS32* nt_ = nullptr;
  std::vector<IMAGE_SECTION_HEADER> sections_;
};

std::vector<std::string> list_exports(const pe_view& view) {
  std::vector<std::string> names;
  const auto& dir = view.directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
  if (dir.VirtualAddress == 0) return names;
  const auto& exports = view.at_rva<IMAGE_EXPORT_DIRECTORY>(dir.VirtualAddress);
  for (uint32_t i = 0; i < exports.NumberOfNames; ++i) {
    const auto name_rva = view.at_rva<uint32_t>(exports.AddressOfNames + 4 * i);
    names.emplace_back(view.text_at(name_rva));
  }
  return names;
}

// Calls visit(descriptor, dll) for every import descriptor.
template <class Visit>
void for_each_descriptor(const pe_view& view, Visit visit) {
  const auto& dir = view.directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
  if (dir.VirtualAddress == 0) return;
  for (uint32_t at = dir.VirtualAddress;; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    const auto& d = view.at_rva<IMAGE_IMPORT_DESCRIPTOR>(at);
    if (d.Name == 0 && d.FirstThunk == 0) return;
    visit(d, view.text_at(d.Name));
  }
}

// The name of the import whose lookup entry is entry, or "#<ordinal>".
std::string import_name(const pe_view& view, uint32_t entry) {
  if ((entry & IMAGE_ORDINAL_FLAG32) != 0) return "#" + std::to_string(entry & 0xFFFFu);
  return std::string(view.text_at(entry + offsetof(IMAGE_IMPORT_BY_NAME, Name)));
}

std::vector<pe_import> list_imports(const pe_view& view) {
  std::vector<pe_import> imports;
  for_each_descriptor(view, [&](const IMAGE_IMPORT_DESCRIPTOR& d, std::string_view dll) {
    pe_import entry{std::string(dll), {}};
    const uint32_t table = d.OriginalFirstThunk != 0 ? d.OriginalFirstThunk : d.FirstThunk;
    for (uint32_t at = table;; at += 4) {
      const auto thunk = view.at_rva<uint32_t>(at);
      if (thunk == 0) break;
      entry.names.push_back(import_name(view, thunk));
    }
    imports.push_back(std::move(entry));
  });
  return imports;
}

}  // namespace

pe_listing parse_pe(const uint8_t* data, size_t size, bool mapped) {
  const pe_view view(data, size, mapped);
  return {list_exports(view), list_imports(view)};
}

pe_listing read_pe_file(std::string_view path) {
  std::string bytes;
  if (!read_file(path, bytes)) throw pe_error("cannot read " + std::string(path));
  return parse_pe(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), false);
}

void visit_import_slots(HMODULE module, const import_slot_visitor& visit) {
  auto* base = reinterpret_cast<uint8_t*>(module);
  const auto& dos = *reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto& nt = *reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos.e_lfanew);
  const pe_view view(base, nt.OptionalHeader.SizeOfImage, true);
  for_each_descriptor(view, [&](const IMAGE_IMPORT_DESCRIPTOR& d, std::string_view dll) {
    // Without the name table the loader's bound addresses are all there is.
    if (d.OriginalFirstThunk == 0) return;
    for (uint32_t i = 0;; ++i) {
      const auto entry = view.at_rva<uint32_t>(d.OriginalFirstThunk + 4 * i);
      if (entry == 0) break;
      if ((entry & IMAGE_ORDINAL_FLAG32) != 0) continue;
      const uint32_t slot_rva = d.FirstThunk + 4 * i;
      view.at_rva<uint32_t>(slot_rva);
      auto** slot = reinterpret_cast<void**>(base + slot_rva);
      visit(dll, view.text_at(entry + offsetof(IMAGE_IMPORT_BY_NAME, Name)), slot);
    }
  });
}

}  // namespace quarlo_host
