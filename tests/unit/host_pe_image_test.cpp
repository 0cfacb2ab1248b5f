// The PE reader over images made in memory: both formats and their
// machine, and every way an image can point outside itself.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quarlo_host/core/pe_image.h"
#include "support/pe_image_builder.h"

using quarlo_host::pe_listing;

TEST(PeReader, RejectsWhatIsNoImage) {
  const std::vector<std::vector<uint8_t>> cases = {
      {},
      {'M', 'Z'},
      std::vector<uint8_t>(64, 0),
  };
  for (const auto& bytes : cases) {
    EXPECT_THROW(quarlo_host::parse_pe(bytes.data(), bytes.size(), false), quarlo_host::pe_error);
  }
  // A valid header whose PE offset points past the end.
  std::vector<uint8_t> dos(64, 0);
  dos[0] = 'M';
  dos[1] = 'Z';
  dos[60] = 0xF0;
  EXPECT_THROW(quarlo_host::parse_pe(dos.data(), dos.size(), false), quarlo_host::pe_error);
}

namespace {

std::vector<quarlo_host::pe_import> listed_imports(const std::vector<uint8_t>& image) {
  return quarlo_host::parse_pe(image.data(), image.size(), false).imports;
}

bool same_imports(const std::vector<quarlo_host::pe_import>& got,
                  const std::vector<test_import>& want) {
  if (got.size() != want.size()) return false;
  for (size_t i = 0; i < got.size(); ++i) {
    if (got[i].dll != want[i].dll || got[i].names != want[i].names) return false;
  }
  return true;
}

}  // namespace

TEST(PeReader, ReadsBothFormatsAndTheirMachine) {
  const std::vector<test_import> imports = {
      {"KERNEL32.dll", {"ExitProcess", "#7", "GetLastError"}},
      {"quarlo_shared.dll", {"uGetDlgItemText"}},
      {"empty.dll", {}},
  };
  const std::vector<std::string> exports = {"quarlo_get_interface", "second_export"};
  struct row {
    uint16_t machine;
    bool pe32_plus;
  };
  for (const row r : {row{0x14C, false}, row{0x8664, true}, row{0xAA64, true}, row{0x1C4, false}}) {
    SCOPED_TRACE(r.machine);
    const std::vector<uint8_t> image = build_pe(r.machine, r.pe32_plus, imports, exports);
    const pe_listing pe = quarlo_host::parse_pe(image.data(), image.size(), false);
    EXPECT_EQ(pe.machine, r.machine);
    EXPECT_EQ(pe.pe32_plus, r.pe32_plus);
    EXPECT_EQ(pe.exports, exports);
    EXPECT_TRUE(same_imports(pe.imports, imports));
  }
}

TEST(PeReader, NamesAnAddressAfterTheNearestExportBeforeIt) {
  // Without imports the export directory starts 20 bytes into the section;
  // an address inside it is a forwarder's text, never code.
  const uint32_t forwarder = test_image_layout::section_rva + 24;
  const std::vector<uint8_t> image =
      build_pe(0x14C, false, {}, {"late", "early", "forwarded"}, {0x3000, 0x2000, forwarder});
  quarlo_host::pe_view view(image.data(), image.size(), false);
  struct row {
    uint32_t rva;
    const char* name;
  };
  for (const row r : {row{0x1FFF, ""}, row{0x2000, "early"}, row{0x2FFF, "early"},
                      row{0x3000, "late"}, row{0x9000, "late"}, row{forwarder + 8, ""}}) {
    SCOPED_TRACE(r.rva);
    const quarlo_host::pe_symbol found = quarlo_host::nearest_export(view, r.rva);
    EXPECT_EQ(found.name, r.name);
    if (!found.name.empty()) {
      EXPECT_EQ(found.rva, found.name == "early" ? 0x2000u : 0x3000u);
    }
  }
  const std::vector<uint8_t> none = build_pe(0x14C, false, {{"KERNEL32.dll", {"ExitProcess"}}});
  quarlo_host::pe_view bare(none.data(), none.size(), false);
  EXPECT_TRUE(quarlo_host::nearest_export(bare, 0x5000).name.empty());
}

TEST(PeReader, ImageWithFewerDirectoriesHasNoImports) {
  std::vector<uint8_t> image = build_pe(0x14C, false, {{"KERNEL32.dll", {"ExitProcess"}}});
  put_le(image, test_image_layout::nt + 24 + 92, 1, 4);  // only the export directory
  EXPECT_TRUE(listed_imports(image).empty());
}

TEST(PeReader, AddressesOutsideTheFileAreErrors) {
  using layout = test_image_layout;
  const uint32_t directories = layout::nt + 24 + 96;
  const uint32_t section = layout::nt + 24 + 224;
  struct row {
    const char* name;
    void (*spoil)(std::vector<uint8_t>&);
    const char* message;
  };
  const row rows[] = {
      {"section data past the end of the file",
       [](std::vector<uint8_t>& image) { put_le(image, section + 20, 0x7FFFFF00, 4); },
       "truncated image"},
      {"section data that wraps past 4 GiB",
       [](std::vector<uint8_t>& image) { put_le(image, section + 20, 0xFFFFFFF0, 4); },
       "truncated image"},
      {"import table outside every section",
       [](std::vector<uint8_t>& image) { put_le(image, directories + 8, 0x9000, 4); },
       "address outside every section"},
      {"import table in no file data",
       [](std::vector<uint8_t>& image) { put_le(image, section + 16, 4, 4); },
       "address in no file data"},
      {"DLL name running to the end of the file",
       [](std::vector<uint8_t>& image) { image.pop_back(); }, "unterminated name"},
      {"PE header offset past the end",
       [](std::vector<uint8_t>& image) { put_le(image, 0x3C, 0xFFFFFFFC, 4); }, "truncated image"},
      {"unknown optional header",
       [](std::vector<uint8_t>& image) { put_le(image, layout::nt + 24, 0x107, 2); },
       "neither PE32 nor PE32+"},
      {"section table cut short",
       [](std::vector<uint8_t>& image) { put_le(image, layout::nt + 6, 60, 2); },
       "truncated image"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<uint8_t> image = build_pe(0x14C, false, {{"KERNEL32.dll", {"ExitProcess"}}});
    r.spoil(image);
    try {
      quarlo_host::parse_pe(image.data(), image.size(), false);
      ADD_FAILURE() << "parsed";
    } catch (const quarlo_host::pe_error& e) {
      EXPECT_STREQ(e.what(), r.message);
    }
  }
}

TEST(PeReader, Pe32PlusNameEntryPastThirtyOneBitsIsAnError) {
  std::vector<uint8_t> image = build_pe(0x8664, true, {{"KERNEL32.dll", {"ExitProcess"}}});
  // The first lookup entry follows the two descriptors.
  const size_t entry = test_image_layout::section_file + 2 * 20;
  put_le(image, entry + 4, 1, 4);
  EXPECT_THROW(listed_imports(image), quarlo_host::pe_error);
}
