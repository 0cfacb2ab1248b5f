// The checker against the built module and against a deliberately broken one.
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "module_under_test.h"
#include "quarlo_host/check_cases.h"
#include "quarlo_host/commands.h"
#include "quarlo_host/runtime/read_file.h"

using quarlo_host::check_cases;
using quarlo_host::run_host;

namespace {

// "STATUS ID: ..." lines of the human report, by id.
std::map<std::string, std::string> statuses(const std::string& report) {
  std::map<std::string, std::string> out;
  std::istringstream lines(report);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t blank = line.find(' ');
    const size_t colon = line.find(':');
    if (blank == std::string::npos || colon == std::string::npos || colon < blank) continue;
    out[line.substr(blank + 1, colon - blank - 1)] = line.substr(0, blank);
  }
  return out;
}

}  // namespace

TEST(Checker, TheModulePassesEveryCase) {
  std::ostringstream out, err;
  EXPECT_EQ(run_host({"check", module_under_test(), "--seed", "7", "--json", "check_report.json"},
                     out, err),
            0)
      << out.str() << err.str();
  const auto found = statuses(out.str());
  ASSERT_EQ(found.size(), check_cases().size()) << out.str();
  for (const auto& [id, status] : found) EXPECT_EQ(status, "passed") << id;
  EXPECT_NE(out.str().find("seed 7\n"), std::string::npos);
  std::string json;
  ASSERT_TRUE(quarlo_host::read_file("check_report.json", json));
  EXPECT_NE(json.find("\"all_passed\": true"), std::string::npos);
  EXPECT_NE(json.find("\"id\": \"unload.heap\", \"description\": "), std::string::npos);
}

TEST(Checker, DrivingTheModuleInTheOtherAbiEndsItsCasesNotTheChecker) {
  // GUID results, by-value references and exceptions differ between the ABIs:
  // the cases that use them break, each in its own process, and the checker
  // reports every case and ends normally.
  const char* other = abi_under_test() == quarlo_host::module_abi::gnu ? "msvc" : "gnu";
  std::ostringstream out, err;
  EXPECT_EQ(run_host({"check", module_under_test(), "--abi", other, "--seed", "7"}, out, err), 1)
      << out.str() << err.str();
  const auto found = statuses(out.str());
  ASSERT_EQ(found.size(), check_cases().size()) << out.str();
  for (const char* id :
       {"commands.slots", "commands.run_releases", "location.alloc_failure",
        "settings.empty_stream", "settings.truncated_header", "settings.round_trip"}) {
    const std::string& status = found.at(id);
    EXPECT_TRUE(status == "crashed" || status == "failed") << id << " " << status;
  }
  EXPECT_EQ(found.at("entry.exports"), "passed");
  EXPECT_NE(out.str().find("summary "), std::string::npos);
}

TEST(Checker, EachFaultOfTheBrokenModuleIsFound) {
  std::ostringstream out, err;
  EXPECT_EQ(
      run_host({"check", "broken_module.dll", "--seed", "7", "--json", "broken.json"}, out, err),
      1);
  const std::map<std::string, std::string> expected = {
      {"entry.exports", "failed"},
      {"entry.shared_imports", "skipped"},
      {"client.version", "failed"},
      {"client.debug_flag", "warning"},
      {"factories.chain", "failed"},
      {"commands.slots", "failed"},
      {"commands.run_releases", "failed"},
      {"location.texts", "failed"},
      {"location.alloc_failure", "failed"},
      {"settings.empty_stream", "crashed"},
      {"settings.truncated_header", "crashed"},
      {"settings.random_bytes", "crashed"},
      {"settings.round_trip", "failed"},
      {"unload.heap", "failed"},
  };
  EXPECT_EQ(statuses(out.str()), expected) << out.str();
  EXPECT_NE(out.str().find("ended with exit code 0xC0000005"), std::string::npos) << out.str();
  std::string json;
  ASSERT_TRUE(quarlo_host::read_file("broken.json", json));
  EXPECT_NE(json.find("\"all_passed\": false"), std::string::npos);
}

TEST(Checker, UsageErrors) {
  for (const std::vector<std::string>& argv : std::vector<std::vector<std::string>>{
           {"check"},
           {"check", "--seed"},
           {"check", "a.dll", "--seed", "x"},
           {"check", "a.dll", "b.dll"},
           {"check-case", module_under_test()},
           {"check-case", module_under_test(), "no.such.case", "1"}}) {
    std::ostringstream out, err;
    EXPECT_EQ(run_host(argv, out, err), 2) << testing::PrintToString(argv);
    EXPECT_NE(err.str().find("quarlo_host"), std::string::npos);
  }
}
