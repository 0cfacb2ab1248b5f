// Why a module would not load: the host's loader explaining it for files on
// disk, with its own lookup of the DLLs they import.
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "quarlo/win32.h"
#include "quarlo_host/runtime/host_files.h"
#include "support/host_program.h"
#include "support/pe_image_builder.h"

namespace {

std::string module_bytes() {
  std::string bytes;
  EXPECT_TRUE(quarlo_host::read_file("tamsel.dll", bytes));
  return bytes;
}

// Files written to a folder of their own and inspected by the host program in
// a process of its own: a module refused for its imports stays open in the
// process that tried to load it, so the test's process could not delete it.
class LoadFailureFiles : public ::testing::Test {
 protected:
  void SetUp() override { CreateDirectoryA(folder_.c_str(), nullptr); }
  void TearDown() override {
    for (const std::string& path : written_) EXPECT_TRUE(DeleteFileA(path.c_str())) << path;
    EXPECT_TRUE(RemoveDirectoryA(folder_.c_str()));
  }

  std::string path_of(const std::string& name) const { return folder_ + "\\" + name; }

  void write(const std::string& name, const std::string& bytes) {
    const std::string path = path_of(name);
    std::ofstream(path, std::ios::binary) << bytes;
    written_.push_back(path);
  }

  // What `quarlo_host inspect` says about the module at path; it must fail.
  static std::string inspect_error(const std::string& path) {
    const host_program_result r = run_host_program("inspect " + path);
    EXPECT_EQ(r.exit_code, 1u) << r.output;
    return r.output;
  }

 private:
  // One folder per process: the suite runs for both ABIs at once.
  const std::string folder_ = "load_failure_files_" + std::to_string(GetCurrentProcessId());
  std::vector<std::string> written_;
};

}  // namespace

TEST_F(LoadFailureFiles, InspectExplainsEveryRefusedModule) {
  struct row {
    const char* name;
    std::optional<std::string> bytes;
    std::vector<const char*> says;
    std::vector<const char*> never;
  };
  const std::string dll = module_bytes();
  const row rows[] = {
      {"missing.dll", std::nullopt, {"the file does not exist"}, {}},
      {"notes.txt", "Tamsel notes\nnothing to load here\n", {"it is a text file"}, {}},
      {"truncated.dll", dll.substr(0, 1024), {"not a complete Windows DLL (truncated image)"}, {}},
      {"x64.dll",
       image_text(x64_dll()),
       {"it is a 64-bit DLL, while quarlo modules are 32-bit"},
       {}},
      // Its other imports sit beside the host program and in the system folder.
      {"absent_import.dll",
       with_absent_import(dll),
       {"it needs quarlo_absent.dll, which cannot be found"},
       {"libgcc", "libstdc++", "msvcrt", "KERNEL32", "USER32"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    if (r.bytes) write(r.name, *r.bytes);
    const std::string message = inspect_error(path_of(r.name));
    const std::string prefix = "quarlo_host: cannot load " + path_of(r.name) + " (error ";
    EXPECT_EQ(message.compare(0, prefix.size(), prefix), 0) << message;
    for (const char* part : r.says) EXPECT_NE(message.find(part), std::string::npos) << message;
    for (const char* part : r.never) EXPECT_EQ(message.find(part), std::string::npos) << message;
  }
}

TEST_F(LoadFailureFiles, DependencyBesideTheModuleIsNotReportedMissing) {
  write("absent_import.dll", with_absent_import(module_bytes()));
  write("quarlo_absent.dll", "not a DLL either\n");
  const std::string message = inspect_error(path_of("absent_import.dll"));
  EXPECT_NE(message.find("cannot load"), std::string::npos) << message;
  EXPECT_EQ(message.find("it needs"), std::string::npos) << message;
}
