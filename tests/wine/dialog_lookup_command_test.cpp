// `quarlo_host lookup` from its arguments to its printed fields and picture.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "module_under_test.h"
#include "quarlo/win32.h"
#include "quarlo_host/cli/commands.h"
#include "quarlo_host/runtime/host_files.h"
#include "quarlo_host/runtime/utf.h"

namespace {

// A file in the temporary folder, removed when the test ends. Its name holds
// the process id: the suite runs for both ABIs at once.
struct temp_file {
  explicit temp_file(const std::string& name, const std::string& content = "") {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    path = quarlo_host::to_utf8(folder) + std::to_string(GetCurrentProcessId()) + "_" + name;
    if (!content.empty()) std::ofstream(path, std::ios::binary) << content;
  }
  ~temp_file() { DeleteFileW(quarlo_host::to_wide(path).c_str()); }
  std::string path;
};

struct run_result {
  int status;
  std::string out;
  std::string err;
};

run_result lookup(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  std::vector<std::string> argv = {"lookup"};
  argv.insert(argv.end(), args.begin(), args.end());
  const int status = quarlo_host::run_host(argv, out, err);
  return {status, out.str(), err.str()};
}

const std::string services =
    "# test services\n"
    "{11111111-2222-3333-4444-555555555555} First\n"
    "{0123ABCD-0123-4567-89AB-CDEF01234567} Caf\xC3\xA9 Second\n";

TEST(LookupCommand, PrintsTheFieldsAndSavesAPictureOfTheDialog) {
  temp_file file("dialog_services.txt", services);
  temp_file picture("dialog_picture.bmp");
  const std::string text = "look {0123abcd-0123-4567-89ab-cdef01234567} up \xE2\x9C\x93";
  const run_result r = lookup({module_under_test(), "--services", file.path, "--text", text,
                               "--update", "--screenshot", picture.path});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "Input: " + text +
                "\nGUID: 0123abcd-0123-4567-89ab-cdef01234567\nResult: Caf\xC3\xA9 Second\n");

  std::string bmp;
  ASSERT_TRUE(quarlo_host::read_file(picture.path, bmp));
  ASSERT_GT(bmp.size(), sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER));
  BITMAPFILEHEADER file_header;
  BITMAPINFOHEADER header;
  std::memcpy(&file_header, bmp.data(), sizeof(file_header));
  std::memcpy(&header, bmp.data() + sizeof(file_header), sizeof(header));
  EXPECT_EQ(file_header.bfType, 0x4D42);
  EXPECT_EQ(file_header.bfSize, bmp.size());
  EXPECT_EQ(header.biBitCount, 24);
  EXPECT_EQ(header.biCompression, DWORD(BI_RGB));
  // The dialog is 280 x 82 dialog units: wider than high, and not tiny.
  EXPECT_GT(header.biWidth, 2 * header.biHeight);
  EXPECT_GT(header.biHeight, 82);
  const uint32_t stride = (uint32_t(header.biWidth) * 3 + 3) & ~3u;
  ASSERT_EQ(bmp.size(), file_header.bfOffBits + stride * uint32_t(header.biHeight));
  // Painted controls and text, not one flat colour.
  std::set<uint32_t> colours;
  for (size_t i = file_header.bfOffBits; i + 3 <= bmp.size(); i += 3)
    colours.insert(uint32_t(uint8_t(bmp[i])) | uint32_t(uint8_t(bmp[i + 1])) << 8 |
                   uint32_t(uint8_t(bmp[i + 2])) << 16);
  EXPECT_GT(colours.size(), 4u);
}

TEST(LookupCommand, WithoutUpdateResultStaysEmpty) {
  temp_file file("dialog_services.txt", services);
  const run_result r = lookup({module_under_test(), "--services", file.path, "--text",
                               "{11111111-2222-3333-4444-555555555555}"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "Input: {11111111-2222-3333-4444-555555555555}\n"
            "GUID: 11111111-2222-3333-4444-555555555555\nResult: \n");
}

TEST(LookupCommand, PictureThatCannotBeSavedFailsAfterPrinting) {
  const run_result r =
      lookup({module_under_test(), "--text", "x", "--screenshot", "no_such_folder/dialog.bmp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Input: x\nGUID: No GUID detected.\nResult: \n");
  EXPECT_NE(r.err.find("cannot save the picture to no_such_folder/dialog.bmp"), std::string::npos)
      << r.err;
}

TEST(LookupCommand, RejectsBadArguments) {
  temp_file broken("dialog_broken_services.txt", "not a service line\n");
  struct case_t {
    std::vector<std::string> args;
    int status;
    const char* said;
  };
  const std::vector<case_t> cases = {
      {{module_under_test()}, 2, "--text is required"},
      {{module_under_test(), "--text"}, 2, "--text: 1 required TEXT missing"},
      {{module_under_test(), "--text", "x", "--colour"}, 2, "not expected: --colour"},
      {{"--text", "x"}, 2, "MODULE.dll is required"},
      {{module_under_test(), "other.dll", "--text", "x"}, 2, "not expected: other.dll"},
      {{"no_such_module.dll", "--text", "x"}, 1, "cannot load no_such_module.dll"},
      {{"quarlo_shared.dll", "--text", "x"}, 1, "does not export quarlo_get_interface"},
      {{module_under_test(), "--services", broken.path, "--text", "x"}, 1, ":1: "},
      {{module_under_test(), "--services", "no_such_services.txt", "--text", "x"},
       1,
       "no_such_services.txt"},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.said);
    const run_result r = lookup(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace
