// What a check run reports: one human line per case and a summary, the same
// as JSON, and JUnit XML for CI systems (a testsuite of a testcase per case
// and repetition; failures as <failure>, crashes as <error>).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "quarlo_host/checker/case_runner.h"

namespace quarlo_host {

struct check_run {
  std::string module_path;
  std::vector<case_outcome> outcomes;
  // Warnings count as failures.
  bool strict = false;
  double seconds = 0;
};

// A warning under --strict is reported as failed.
check_status effective_status(const case_outcome& outcome, bool strict);

// "STATUS ID: DESCRIPTION (DETAILS) [0.12 s]"
void write_case_line(const case_outcome& outcome, bool strict, std::ostream& out);
// "summary N passed, N failed, N skipped, N warning, N crashed"
void write_summary(const check_run& run, std::ostream& out);

std::string report_json(const check_run& run);
std::string report_junit(const check_run& run);

// 0 when no case failed or crashed, 1 when one did.
int run_verdict(const check_run& run);

}  // namespace quarlo_host
