// The checker's command line and reports, against the module under test.
#include <algorithm>
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "check_command.h"
#include "module_under_test.h"
#include "quarlo_host/checker/check_catalogue.h"
#include "quarlo_host/cli/commands.h"
#include "quarlo_host/runtime/host_files.h"
#include "support/check_report_lines.h"

using quarlo_host::check_catalogue;
using quarlo_host::run_host;

TEST(Checker, TheCatalogueHoldsFortyCasesOrMoreInItsAreas) {
  EXPECT_GE(check_catalogue().size(), 40u);
  const std::string areas =
      "entry client factories commands settings memory exceptions run process threads sequence";
  std::map<std::string, int> ids;
  for (const auto& c : check_catalogue()) {
    EXPECT_NE(areas.find(quarlo_host::case_area(c)), std::string::npos) << c.id;
    EXPECT_NE(std::string(c.why), "") << c.id;
    EXPECT_EQ(++ids[c.id], 1) << c.id;
  }
}

TEST(Checker, TheModulePassesEveryCase) {
  // tests/wine/check_junit.py reads the JUnit report afterwards, as a CI system would.
  // Named per ABI: the suites of the two ABIs may run at once in one folder.
  const std::string report = std::string("check_report_") + quarlo_host::abi_name(abi_under_test());
  const std::string junit = report + ".xml";
  const run_result r =
      check({module_under_test(), "--seed", "7", "--json", report + ".json", "--junit", junit});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  const auto found = statuses(r.out);
  ASSERT_EQ(found.size(), check_catalogue().size()) << r.out;
  for (const auto& [id, status] : found) {
    EXPECT_TRUE(status == "passed" || status == "skipped") << id << " " << status;
  }
  EXPECT_EQ(r.out.rfind("seed 7\n", 0), 0u);
  std::string json;
  ASSERT_TRUE(quarlo_host::read_file(report + ".json", json));
  EXPECT_NE(json.find("\"passed\": true"), std::string::npos);
  std::string xml;
  ASSERT_TRUE(quarlo_host::read_file(junit, xml));
  EXPECT_NE(xml.find("<testcase classname=\"memory\" name=\"memory.unload_frees_all\""),
            std::string::npos);
}

TEST(Checker, AModuleThatCannotBeLoadedIsOneErrorAndNoCase) {
  for (const char* module : {"no_such_module.dll", "quarlo_shared.dll", "services.txt"}) {
    SCOPED_TRACE(module);
    const run_result r =
        check({module, "--json",
               std::string("unloadable_") + quarlo_host::abi_name(abi_under_test()) + ".json"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("cannot be checked"), std::string::npos) << r.err;
    // One error, not one per case.
    EXPECT_EQ(r.err.find("cannot be checked"), r.err.rfind("cannot be checked")) << r.err;
  }
}

TEST(Checker, SelectsRepeatsAndReplaysBySeed) {
  // The module last: a pattern option takes one value, never the module.
  const run_result r =
      check({"--only", "settings.*", "--only", "entry.loads", "--skip", "settings.random_*",
             "--repeat", "2", "--seed", "41", "-j", "1", module_under_test()});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("seed 41\npassed entry.loads:"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("seed 42\npassed entry.loads:"), std::string::npos) << r.out;
  // What --skip leaves out stands in the report as such.
  EXPECT_NE(r.out.find("skipped settings.random_bytes: 4 MiB of random bytes load normally or end "
                       "with exception_io_data (left out with --skip)"),
            std::string::npos);
  EXPECT_NE(r.out.find("passed settings.round_trip:"), std::string::npos);
  EXPECT_EQ(r.out.find("client."), std::string::npos);
}

TEST(Checker, TheHeapWatchSeesTheSystemsAllocators) {
  struct row {
    const char* fault;
    const char* id;
    const char* detail;
  };
  const row rows[] = {
      {"heap_block_left_at_unload", "memory.unload_frees_all", "1 left"},
      {"local_overrun_on_long_input", "run.commands_return", "past the end of block"},
      {"global_frees_twice_on_long_input", "run.commands_return", "was freed twice"},
      {"cotask_write_after_free_on_long_input", "run.commands_return",
       "was written after it was freed"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.fault);
    const run_result got = check({checker_module(r.fault), "--only", r.id});
    EXPECT_EQ(got.status, 1) << got.out << got.err;
    EXPECT_NE(got.out.find(std::string("failed ") + r.id + ": "), std::string::npos) << got.out;
    EXPECT_NE(got.out.find(r.detail), std::string::npos) << got.out;
  }
}

TEST(Checker, InProcessRunsTheSameCases) {
  const run_result r = check({module_under_test(), "--in-process", "--only", "commands.*"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("commands.run_releases_callback"), std::string::npos) << r.out;
}

TEST(Checker, ListsTheCatalogue) {
  const run_result human = check({"--list"});
  EXPECT_EQ(human.status, 0);
  const run_result json = check({"--list", "--json"});
  EXPECT_EQ(json.status, 0);
  for (const auto& c : check_catalogue()) {
    EXPECT_NE(
        human.out.find(std::string(c.id) + " [" + quarlo_host::case_area(c) + "] " + c.description),
        std::string::npos);
    EXPECT_NE(json.out.find(std::string("\"id\": \"") + c.id + "\""), std::string::npos);
  }
}

TEST(Checker, UsageErrors) {
  for (const std::vector<std::string>& argv : std::vector<std::vector<std::string>>{
           {"check"},
           {"check", "--seed"},
           {"check", "a.dll", "--seed", "x"},
           {"check", "a.dll", "b.dll"},
           {"check", "a.dll", "--timeout", "0"},
           {"check", "a.dll", "--timeout", "-3"},
           {"check", "a.dll", "-j", "0"},
           {"check", "a.dll", "--abi", "clr"},
           {"check", "a.dll", "--only", "no.such.*"},
           {"check-case", module_under_test()},
           {"check-case", module_under_test(), "no.such.case", "1"}}) {
    std::ostringstream out, err;
    EXPECT_EQ(run_host(argv, out, err), 2) << testing::PrintToString(argv);
    EXPECT_NE(err.str().find("quarlo_host"), std::string::npos) << err.str();
  }
}

TEST(Checker, DrivingTheModuleInTheOtherAbiEndsItsCasesNotTheChecker) {
  // GUID results, by-value references and exceptions differ between the ABIs:
  // the cases that use them break, each in its own process, and the checker
  // reports every case and ends normally.
  const char* other = abi_under_test() == quarlo_host::module_abi::gnu ? "msvc" : "gnu";
  const run_result r =
      check({module_under_test(), "--abi", other, "--seed", "7", "--timeout", time_limit(20)});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  const auto found = statuses(r.out);
  ASSERT_EQ(found.size(), check_catalogue().size()) << r.out;
  for (const char* id : {"commands.guid_past_end", "commands.run_releases_callback",
                         "settings.empty_stream", "settings.cut_header"}) {
    const std::string& status = found.at(id);
    EXPECT_TRUE(status == "crashed" || status == "failed") << id << " " << status;
  }
  EXPECT_EQ(found.at("entry.single_export"), "passed");
  EXPECT_NE(r.out.find("summary "), std::string::npos);
}
