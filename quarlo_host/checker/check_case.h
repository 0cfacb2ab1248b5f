// One case of `quarlo_host check`: a named check of the module contract, in an
// area, with one line on what it checks and one on why a host cares. Running
// one loads the module afresh (with the heap watch) and ends in a status with
// details; a failure's details say what was expected and what came.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "quarlo_host/core/module_abi.h"

namespace quarlo_host {

enum class check_status { passed, failed, skipped, warning, crashed };

const char* status_name(check_status status);
// Reads a status_name back; false for anything else.
bool parse_status(const std::string& name, check_status& out);

struct check_result {
  check_status status;
  std::string details;
};

struct check_context {
  std::string module_path;
  // Seeds every random input, so a run can be replayed.
  uint32_t seed;
  // The ABI to drive the module in; found from the module when not given.
  std::optional<module_abi> abi;
  // The case's time limit in seconds: a case that waits on the module gives
  // up well within it, so it ends itself with a verdict.
  double timeout_seconds = 60;
  // The length of a random sequence of calls; 0: as many as take about a second.
  uint32_t steps = 0;
};

struct check_case {
  // AREA.NAME: the area is what comes before the first dot.
  const char* id;
  const char* description;
  const char* why;
  check_result (*run)(const check_context& context);
  // The case opens the host's main window, which needs a display and a
  // desktop of the machine the check runs on.
  bool needs_window = false;
};

// The area of a case, from its id.
std::string case_area(const check_case& c);

check_result passed(std::string details = {});
check_result failed(std::string details);
check_result skipped(std::string details);
check_result warning(std::string details);
// "expected E, got G" as failed.
check_result expected_got(const std::string& expected, const std::string& got);

}  // namespace quarlo_host
