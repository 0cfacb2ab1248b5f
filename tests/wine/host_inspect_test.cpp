// The inspect report of the built module and the command dispatch around it.
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "module_under_test.h"
#include "quarlo_host/cli/commands.h"
#include "quarlo_host/cli/inspect.h"
#include "tamsel_version.h"

using quarlo_host::run_host;

TEST(Inspect, ReportsTheModulesClientAndCommandGroup) {
  std::ostringstream out, err;
  EXPECT_EQ(run_host({"inspect", module_under_test()}, out, err), 0) << err.str();
  EXPECT_EQ(out.str(),
            "file_version " TAMSEL_VERSION_TEXT
            ".0\n"
            "client_version 71\n"
            "debug_build false\n"
            "factory 0 class {35077B8C-6E70-47BA-B9DD-D51500E12F2E}\n"
            "factory 0 mainmenu_commands parent_group {F8BE5604-165F-4BB9-B6A9-15E55E0E0D3A} "
            "sort_priority 0x80000000 commands 1\n"
            "factory 0 command 0 guid {099F8FD0-D915-407B-87F8-839C2BA3F401} description no "
            "name Tamsel Tool\n"
            "factories 1\n");
  EXPECT_EQ(err.str(), "");
}

TEST(Inspect, FailuresEndWithTheirExitStatus) {
  struct row {
    std::vector<std::string> argv;
    int status;
    const char* message_part;
  };
  const row rows[] = {
      {{}, 2, "usage: quarlo_host"},
      {{"frobnicate"}, 2, "unknown command 'frobnicate'"},
      {{"inspect"}, 2, "usage: quarlo_host inspect"},
      {{"inspect", "a.dll", "b.dll"}, 2, "usage: quarlo_host inspect"},
      {{"inspect", "no-such-module.dll"}, 1, "cannot load no-such-module.dll"},
      // A path that starts with a slash names a file, not an option.
      {{"inspect", "/no-such/module.dll"}, 1, "cannot load /no-such/module.dll"},
      // A DLL without the entry: the host's own shared library.
      {{"inspect", "quarlo_shared.dll"}, 1, "does not export quarlo_get_interface"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::PrintToString(r.argv));
    std::ostringstream out, err;
    EXPECT_EQ(run_host(r.argv, out, err), r.status);
    EXPECT_NE(err.str().find(r.message_part), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "");
  }
}

TEST(Inspect, VersionAndHelpGoToStandardOutput) {
  struct row {
    std::vector<std::string> argv;
    std::string out_start;
  };
  const row rows[] = {
      {{"--version"}, "quarlo_host " TAMSEL_VERSION_TEXT "\n"},
      {{"--help"}, "usage: quarlo_host <command> [arguments]\n"},
      {{"inspect", "--help"}, "usage: quarlo_host inspect MODULE.dll [--abi gnu|msvc]\n"},
      {{"check", "-h"},
       "usage: quarlo_host check [MODULE.dll]... [--abi gnu|msvc] [--only PATTERN]... "
       "[--skip PATTERN]... [--config FILE] [--seed N]"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::PrintToString(r.argv));
    std::ostringstream out, err;
    EXPECT_EQ(run_host(r.argv, out, err), 0);
    EXPECT_EQ(out.str().rfind(r.out_start, 0), 0u) << out.str();
    EXPECT_EQ(err.str(), "");
  }
}

TEST(Inspect, EachCommandsHelpNamesEveryArgumentItsParserTakes) {
  // A line per argument, its value named, and what it does.
  struct row {
    const char* command;
    std::vector<std::string> lines;
  };
  const row rows[] = {
      {"check",
       {"  MODULE.dll ", "  --json [FILE] ", "  -j, --jobs N ", "  --steps N ", "  --in-process "}},
      {"check-case", {"  ID ", "  SEED ", "  --timeout SECONDS "}},
      {"lookup", {"  --text TEXT ", "  --screenshot FILE.bmp ", "  --update "}},
  };
  for (const auto& r : rows) {
    std::ostringstream out, err;
    EXPECT_EQ(run_host({r.command, "--help"}, out, err), 0);
    for (const auto& line : r.lines) {
      EXPECT_NE(out.str().find("\n" + line), std::string::npos) << r.command << ": " << line;
    }
  }
}
