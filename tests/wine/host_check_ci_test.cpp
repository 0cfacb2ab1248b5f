// The checker as a module developer's CI runs it: several modules in one run,
// the file of known deviations, and crashes reported where they happened,
// with a minidump; and the other commands telling a module's crash in one
// line.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "check_command.h"
#include "module_under_test.h"
#include "quarlo_host/cli/commands.h"
#include "quarlo_host/runtime/host_files.h"
#include "support/check_report_lines.h"
#include "support/host_program.h"

#include <dbghelp.h>

namespace {

// A fresh folder of the test's own, named after it and the ABI (the suites of
// both ABIs may run at once), removed with what it holds when the test ends.
class fresh_folder {
 public:
  explicit fresh_folder(const std::string& name)
      : path_(name + "_" + quarlo_host::abi_name(abi_under_test())) {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    EXPECT_TRUE(CreateDirectoryA(path_.c_str(), nullptr)) << path_;
  }
  fresh_folder(const fresh_folder&) = delete;
  fresh_folder& operator=(const fresh_folder&) = delete;
  ~fresh_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  operator const std::string&() const { return path_; }

 private:
  std::string path_;
};

void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

TEST(CheckInCi, SeveralModulesAndAFolderGiveASectionPerModule) {
  // A folder as a host's modules folder holds it: two modules, a DLL that is
  // none (no quarlo_get_interface) and another file.
  const fresh_folder made("modules");
  const std::string& folder = made;
  for (const char* name : {"conforming", "second_export"}) {
    ASSERT_TRUE(CopyFileA(checker_module(name).c_str(),
                          (folder + "\\checker_" + name + ".dll").c_str(), FALSE));
  }
  ASSERT_TRUE(CopyFileA("quarlo_shared.dll", (folder + "\\quarlo_shared.dll").c_str(), FALSE));
  write_file(folder + "\\readme.txt", "not a module");

  const std::string junit = folder + "\\report.xml";
  const run_result r =
      check({folder, "--only", "entry.single_export", "--junit", junit, "-j", "2", "--seed", "7"});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  const size_t conforming = r.out.find("module " + folder + "\\checker_conforming.dll\n");
  const size_t faulty = r.out.find("module " + folder + "\\checker_second_export.dll\n");
  ASSERT_NE(conforming, std::string::npos) << r.out;
  ASSERT_NE(faulty, std::string::npos) << r.out;
  EXPECT_LT(conforming, faulty);
  EXPECT_EQ(r.out.find("quarlo_shared.dll"), std::string::npos) << r.out;
  const std::string second = r.out.substr(faulty);
  EXPECT_NE(r.out.substr(conforming, faulty - conforming).find("passed entry.single_export"),
            std::string::npos);
  EXPECT_NE(second.find("failed entry.single_export"), std::string::npos) << second;
  std::string xml;
  ASSERT_TRUE(quarlo_host::read_file(junit, xml));
  EXPECT_NE(
      xml.find("<testsuite name=\"quarlo_host check " + folder + "\\checker_conforming.dll\""),
      std::string::npos)
      << xml;
  EXPECT_NE(xml.find("<testsuite name=\"quarlo_host check " + folder +
                     "\\checker_second_export.dll\" tests=\"1\" failures=\"1\""),
            std::string::npos);

  // Files named one by one, one of them no module at all: JSON has an entry
  // for each, and the one that cannot be checked makes the exit status 2.
  const run_result named = check({checker_module("conforming"), "no_such_module.dll", "--only",
                                  "entry.single_export", "--json"});
  EXPECT_EQ(named.status, 2) << named.out << named.err;
  const auto json = nlohmann::json::parse(named.out, nullptr, false);
  ASSERT_TRUE(json.is_object()) << named.out;
  ASSERT_EQ(json["modules"].size(), 2u);
  EXPECT_EQ(json["modules"][0]["passed"], true);
  EXPECT_TRUE(json["modules"][1].contains("not_checked"));

  const fresh_folder no_modules("no_modules");
  const run_result empty = check({no_modules, "--only", "entry.*"});
  EXPECT_EQ(empty.status, 2);
  EXPECT_NE(empty.err.find("holds no module"), std::string::npos) << empty.err;
}

TEST(CheckInCi, KnownDeviationsAreSkippedWithTheirReason) {
  const fresh_folder made("deviations");
  const std::string& folder = made;
  const std::string config = folder + "\\quarlo_check.toml";
  write_file(config,
             "# The second export is for our own tools.\n"
             "seed = 11\n"
             "[skip]\n"
             "\"entry.single_export\" = \"our tools call checker_second_export\"\n");
  std::ostringstream out, err;
  const int status = quarlo_host::run_host(
      {"check", checker_module("second_export"), "--config", config, "--only",
       "entry.single_export", "--json", folder + "\\report.json", "--timeout", time_limit(60)},
      out, err);
  EXPECT_EQ(status, 0) << out.str() << err.str();
  // The file's seed, and its reason where the case would have stood.
  EXPECT_EQ(out.str().rfind("seed 11\n", 0), 0u) << out.str();
  const auto lines = report_lines(out.str());
  ASSERT_EQ(lines.count("entry.single_export"), 1u) << out.str();
  EXPECT_EQ(lines.at("entry.single_export").status, "skipped");
  EXPECT_NE(lines.at("entry.single_export").details.find("our tools call checker_second_export"),
            std::string::npos);
  std::string json;
  ASSERT_TRUE(quarlo_host::read_file(folder + "\\report.json", json));
  EXPECT_NE(json.find("our tools call checker_second_export"), std::string::npos);

  // A case id the catalogue does not have (renamed, mistyped) is an error.
  struct row {
    const char* text;
    const char* error;
  };
  for (const row& r : {row{"[skip]\n\"entry.single_exports\" = \"renamed\"\n", "line 2"},
                       row{"seeds = 3\n", "line 1"}}) {
    SCOPED_TRACE(r.text);
    write_file(config, r.text);
    const run_result bad = check({checker_module("conforming"), "--config", config});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find(config + ": " + r.error), std::string::npos) << bad.err;
  }
}

// The dump's header, and its exception and module list streams.
struct dump_facts {
  bool signed_as_dump = false;
  DWORD exception_code = 0;
  std::vector<std::wstring> modules;
};

dump_facts read_dump(const std::string& path) {
  dump_facts facts;
  std::string bytes;
  if (!quarlo_host::read_file(path, bytes) || bytes.size() < sizeof(MINIDUMP_HEADER)) return facts;
  const auto at = [&bytes](RVA rva, size_t size) -> const char* {
    return rva <= bytes.size() && size <= bytes.size() - rva ? bytes.data() + rva : nullptr;
  };
  const auto* header = reinterpret_cast<const MINIDUMP_HEADER*>(bytes.data());
  facts.signed_as_dump = header->Signature == 0x504D444D;  // "MDMP"
  const auto* directory = reinterpret_cast<const MINIDUMP_DIRECTORY*>(
      at(header->StreamDirectoryRva, header->NumberOfStreams * sizeof(MINIDUMP_DIRECTORY)));
  for (ULONG32 i = 0; directory != nullptr && i < header->NumberOfStreams; ++i) {
    const MINIDUMP_LOCATION_DESCRIPTOR where = directory[i].Location;
    const char* stream = at(where.Rva, where.DataSize);
    if (stream == nullptr) continue;
    if (directory[i].StreamType == ExceptionStream) {
      facts.exception_code =
          reinterpret_cast<const MINIDUMP_EXCEPTION_STREAM*>(stream)->ExceptionRecord.ExceptionCode;
    } else if (directory[i].StreamType == ModuleListStream) {
      const auto* list = reinterpret_cast<const MINIDUMP_MODULE_LIST*>(stream);
      for (ULONG32 m = 0; m < list->NumberOfModules; ++m) {
        const auto* name = reinterpret_cast<const MINIDUMP_STRING*>(
            at(list->Modules[m].ModuleNameRva, sizeof(MINIDUMP_STRING)));
        if (name != nullptr) facts.modules.emplace_back(name->Buffer, name->Length / 2);
      }
    }
  }
  return facts;
}

TEST(CheckInCi, ACrashNamesModuleOffsetAndSymbolAndLeavesADump) {
  const fresh_folder made("dumps");
  const std::string& dumps = made;
  const run_result r = check({checker_module("crash_in_export"), "--only", "run.commands_return",
                              "--dumps", dumps, "--json", "--seed", "7"});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  const auto json = nlohmann::json::parse(r.out, nullptr, false);
  ASSERT_TRUE(json.is_object()) << r.out;
  ASSERT_EQ(json["cases"].size(), 1u);
  const std::string details = json["cases"][0]["details"];
  EXPECT_EQ(json["cases"][0]["status"], "crashed");
  for (const char* part :
       {"exception 0xC0000005 at checker_crash_in_export.dll+0x", "(checker_crash_here+0x",
        "writing 0x00000000", "running group 0 command 0"}) {
    EXPECT_NE(details.find(part), std::string::npos) << part << " in " << details;
  }

  const dump_facts dump = read_dump(dumps + "\\checker_crash_in_export-run.commands_return-7.dmp");
  EXPECT_TRUE(dump.signed_as_dump);
  EXPECT_EQ(dump.exception_code, 0xC0000005u);
  bool module_listed = false;
  for (const std::wstring& m : dump.modules) {
    module_listed = module_listed || m.find(L"checker_crash_in_export.dll") != std::wstring::npos;
  }
  EXPECT_TRUE(module_listed);
}

TEST(CheckInCi, ACrashInAFunctionNotExportedIsNamedByThePdbBesideTheModule) {
  // The crash is in a slot, which no export names; only the Microsoft-ABI
  // build has a PDB beside the module.
  const run_result r =
      check({checker_module("crash_in_slot"), "--only", "commands.count_stable", "--json"});
  const auto json = nlohmann::json::parse(r.out, nullptr, false);
  ASSERT_TRUE(json.is_object()) << r.out << r.err;
  ASSERT_EQ(json["cases"].size(), 1u);
  const std::string details = json["cases"][0]["details"];
  EXPECT_EQ(json["cases"][0]["status"], "crashed");
  EXPECT_NE(details.find("at checker_crash_in_slot.dll+0x"), std::string::npos) << details;
  const bool named = details.find("command_count+0x") != std::string::npos;
  EXPECT_EQ(named, abi_under_test() == quarlo_host::module_abi::msvc) << details;
}

TEST(CheckInCi, OtherCommandsTellAModulesCrashInOneLine) {
  // inspect asks every command group its count: this module crashes there.
  const host_program_result r = run_host_program("inspect " + checker_module("crash_in_slot"));
  EXPECT_EQ(r.exit_code, 0xC0000005u) << r.output;
  const size_t line = r.output.find(
      "quarlo_host: crashed: exception 0xC0000005 at "
      "checker_crash_in_slot.dll+0x");
  EXPECT_NE(line, std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("quarlo_host: crashed", line + 1), std::string::npos);
  // Not the system's report of every thread and module.
  EXPECT_EQ(r.output.find("Backtrace"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("Unhandled"), std::string::npos) << r.output;
}
