// Why a module would not load: the explanation worked out from a file's bytes
// with a lookup of the test's own.
#include <cctype>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "quarlo_host/core/load_failure.h"
#include "support/pe_image_builder.h"

using quarlo_host::explain_load_failure;

namespace {

std::string folded(std::string_view name) {
  std::string out(name);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The imports of a GNU-ABI build of a module.
const std::vector<uint8_t> module_image = build_pe(0x14C, false,
                                                   {{"KERNEL32.dll", {"ExitProcess"}},
                                                    {"msvcrt.dll", {"malloc"}},
                                                    {"USER32.dll", {"MessageBoxW"}},
                                                    {"quarlo_shared.dll", {"uGetDlgItemText"}},
                                                    {"libgcc_s_dw2-1.dll", {"_Unwind_Resume"}},
                                                    {"libstdc++-6.dll", {"_ZSt9terminatev"}}});

}  // namespace

TEST(LoadFailure, SaysWhatIsWrongFromTheFile) {
  struct row {
    const char* name;
    uint32_t error;
    std::optional<std::string> contents;
    // Names (folded) the lookup finds; "*" finds every name.
    std::set<std::string> found;
    std::vector<const char*> says;
    std::vector<const char*> never;
  };
  const std::string dll = image_text(module_image);
  const row rows[] = {
      {"missing file", 126, std::nullopt, {}, {"the file does not exist; check the path"}, {}},
      {"unreadable file", 5, std::nullopt, {}, {"cannot be read; check its permissions"}, {}},
      {"empty file", 193, "", {}, {"the file is empty, not a Windows DLL"}, {}},
      {"text file",
       193,
       "# services\r\n{6513270E-269E-4D37-B2A7-4DE452E6B438} Playback Engine\r\n",
       {},
       {"it is a text file, not a Windows DLL; give the path of the module's .dll file"},
       {}},
      {"binary data",
       193,
       std::string("\x7F"
                   "ELF\x01\x01\x01\x00",
                   8),
       {},
       {"it is not a Windows DLL"},
       {"text"}},
      {"truncated DLL",
       193,
       dll.substr(0, test_image_layout::section_file + 16),
       {},
       {"it is not a complete Windows DLL (truncated image)", "cut short; copy or build it again"},
       {}},
      {"DOS program", 193, "MZ" + std::string(62, '\0'), {}, {"(no PE signature)"}, {}},
      {"64-bit DLL",
       193,
       image_text(x64_dll()),
       {},
       {"it is a 64-bit DLL, while quarlo modules are 32-bit; use the module's 32-bit (x86) build"},
       {"KERNEL32"}},
      {"64-bit ARM DLL", 193, image_text(build_pe(0xAA64, true, {})), {}, {"a 64-bit DLL"}, {}},
      {"32-bit ARM DLL",
       193,
       image_text(build_pe(0x1C4, false, {})),
       {},
       {"another processor (machine 0x01C4), while quarlo modules are 32-bit x86 DLLs"},
       {}},
      {"missing import",
       126,
       image_text(build_pe(0x14C, false,
                           {{"KERNEL32.dll", {"ExitProcess"}}, {"quarlo_absent.dll", {"#7"}}})),
       {"kernel32.dll"},
       {"it needs quarlo_absent.dll, which cannot be found; put it beside the module or beside "
        "the host program"},
       {"KERNEL32"}},
      {"missing imports, one named twice",
       126,
       image_text(build_pe(0x14C, false, {{"a.dll", {"f"}}, {"B.dll", {"g"}}, {"A.DLL", {"h"}}})),
       {},
       {"it needs a.dll and B.dll, which cannot be found; put them beside"},
       {"A.DLL"}},
      {"module without its shared library",
       126,
       with_absent_import(dll),
       {"kernel32.dll", "msvcrt.dll", "user32.dll", "libgcc_s_dw2-1.dll", "libstdc++-6.dll"},
       {"it needs quarlo_absent.dll, which"},
       {"libgcc", "msvcrt", "quarlo_shared"}},
      {"the module without the runtime DLLs",
       126,
       dll,
       {"kernel32.dll", "msvcrt.dll", "user32.dll", "quarlo_shared.dll"},
       {"it needs libgcc_s_dw2-1.dll and libstdc++-6.dll, which cannot be found; put them"},
       {}},
      {"dependency of a dependency",
       126,
       dll,
       {"*"},
       {"every DLL it imports was found, so one of them cannot be loaded or needs a DLL that is "
        "missing"},
       {}},
      {"missing function", 127, dll, {"*"}, {"a DLL it imports lacks a function it needs"}, {}},
      {"start-up failed", 1114, dll, {"*"}, {"(DllMain returned FALSE)"}, {}},
      {"image refused", 193, dll, {"*"}, {"Windows does not accept it as a DLL"}, {}},
      {"access denied to a dependency", 5, dll, {"*"}, {"check the permissions"}, {}},
      {"another error", 8, dll, {"*"}, {"Windows refused it"}, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::set<std::string> asked;
    const quarlo_host::dll_finder find = [&](std::string_view name) {
      EXPECT_TRUE(asked.insert(folded(name)).second) << "asked twice for " << name;
      return r.found.count("*") != 0 || r.found.count(folded(name)) != 0;
    };
    const std::optional<std::string_view> contents =
        r.contents ? std::optional<std::string_view>(*r.contents) : std::nullopt;
    const std::string message = explain_load_failure("mods\\x.dll", r.error, contents, find);
    const std::string prefix = "cannot load mods\\x.dll (error " + std::to_string(r.error) + "): ";
    EXPECT_EQ(message.compare(0, prefix.size(), prefix), 0) << message;
    for (const char* part : r.says) EXPECT_NE(message.find(part), std::string::npos) << message;
    for (const char* part : r.never) EXPECT_EQ(message.find(part), std::string::npos) << message;
  }
}
