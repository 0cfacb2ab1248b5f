// quarlo_host check against the test-only modules of checker_modules/, each built
// with one planted fault of checker_modules/faults.def, in the ABI under test:
// the cases that catch the fault end as its row says, and every other case
// passes (or is skipped, or warns about the test build itself).
#include <algorithm>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "module_under_test.h"
#include "quarlo_host/checker/case_selection.h"
#include "quarlo_host/cli/commands.h"
#include "support/check_report_lines.h"

namespace {

struct fault_row {
  const char* module;
  // gnu or msvc: the one ABI where the fault can show; both.
  const char* abi;
  // The time limit per case, in seconds (where Wine runs natively).
  int timeout;
  // "case=status ..." for the cases that catch the fault; a case may be a glob.
  const char* caught;
};

const fault_row all_faults[] = {
#define CHECKER_FAULT(name, abi, timeout, caught) {#name, #abi, timeout, caught},
#include "checker_modules/faults.def"
#undef CHECKER_FAULT
};

// A row shows as its fault's name in gtest's messages.
void PrintTo(const fault_row& row, std::ostream* out) { *out << row.module; }

// The rows of the ABI under test.
std::vector<fault_row> faults_here() {
  const char* abi = abi_under_test() == quarlo_host::module_abi::msvc ? "msvc" : "gnu";
  std::vector<fault_row> rows;
  for (const fault_row& row : all_faults) {
    if (std::string(row.abi) == "both" || std::string(row.abi) == abi) rows.push_back(row);
  }
  return rows;
}

// The (case glob, status) pairs of a row.
std::vector<std::pair<std::string, std::string>> caught_cases(const fault_row& row) {
  std::vector<std::pair<std::string, std::string>> cases;
  std::istringstream words(row.caught);
  for (std::string word; words >> word;) {
    const size_t eq = word.find('=');
    cases.emplace_back(word.substr(0, eq), eq == std::string::npos ? "" : word.substr(eq + 1));
  }
  return cases;
}

class CheckerFaults : public testing::TestWithParam<fault_row> {};

TEST_P(CheckerFaults, CaughtByItsCasesAndNoOther) {
  const fault_row& row = GetParam();
  const auto caught = caught_cases(row);
  const std::string module = folder_under_test() + "checker_modules/checker_" + row.module + ".dll";
  std::ostringstream out, err;
  const int status = quarlo_host::run_host(
      {"check", module, "--seed", "5", "--timeout", time_limit(row.timeout)}, out, err);
  // A warning alone leaves the exit status 0.
  const bool fails = std::any_of(caught.begin(), caught.end(),
                                 [](const auto& c) { return c.second != "warning"; });
  EXPECT_EQ(status, fails ? 1 : 0) << out.str() << err.str();
  const auto found = statuses(out.str());
  ASSERT_FALSE(found.empty()) << err.str();
  for (const auto& [id, got] : found) {
    std::string expected;
    for (const auto& [pattern, s] : caught) {
      if (expected.empty() && quarlo_host::glob_match(pattern, id)) expected = s;
    }
    if (expected.empty()) {
      EXPECT_TRUE(got == "passed" || got == "skipped" || got == "warning") << id << " " << got;
    } else {
      EXPECT_EQ(got, expected) << id;
    }
  }
  for (const auto& [pattern, s] : caught) {
    bool any = false;
    for (const auto& [id, got] : found) any = any || quarlo_host::glob_match(pattern, id);
    EXPECT_TRUE(any) << pattern << " names no case of the report";
  }
}

// One test per fault, named after it, so one reruns alone with a filter.
INSTANTIATE_TEST_SUITE_P(Planted, CheckerFaults, testing::ValuesIn(faults_here()),
                         [](const testing::TestParamInfo<fault_row>& info) {
                           return std::string(info.param.module);
                         });

}  // namespace
