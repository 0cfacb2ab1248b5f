// What a check run reports, for each module checked: one human line per case
// and a summary, the same as JSON, and JUnit XML for CI systems (a testsuite
// per module, of a testcase per case and repetition; failures as <failure>,
// crashes as <error>).
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
  // Why the module could not be checked at all (empty: it was); no case ran.
  std::string not_checked;
};

// A warning under --strict is reported as failed.
check_status effective_status(const case_outcome& outcome, bool strict);

// "STATUS ID: DESCRIPTION (DETAILS) [0.12 s]"
void write_case_line(const case_outcome& outcome, bool strict, std::ostream& out);
// "summary N passed, N failed, N skipped, N warning, N crashed"
void write_summary(const check_run& run, std::ostream& out);

// One module's report as the object below; several as {"passed", "seconds",
// "modules": [one object per module]}.
std::string report_json(const std::vector<check_run>& runs);
std::string report_junit(const std::vector<check_run>& runs);

// 0 when no case failed or crashed, 1 when one did, 2 when the module could
// not be checked.
int run_verdict(const check_run& run);
// Of several: 2 when one could not be checked, else 1 when one failed, else 0.
int runs_verdict(const std::vector<check_run>& runs);

}  // namespace quarlo_host
