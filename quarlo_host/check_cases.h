// The checks `quarlo_host check` runs against a module. Each is a named case
// with an id and a one-line description; running one loads the module afresh
// (with the heap watch) and ends in a status with details.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "quarlo_host/core/module_abi.h"

namespace quarlo_host {

enum class check_status { passed, failed, skipped, warning, crashed };

const char* status_name(check_status status);

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
};

struct check_case {
  const char* id;
  const char* description;
  check_result (*run)(const check_context& context);
};

const std::vector<check_case>& check_cases();

// Runs one case in this process; an exception leaving it counts as failed.
check_result run_check_case(const check_case& c, const check_context& context);

}  // namespace quarlo_host
