// The line a case process (`quarlo_host check-case`) prints for its parent:
// "result " and the case's result as JSON. The parent reads the last such line
// at the start of a line, so nothing the module prints stands in for it, and
// weighs it with the process's exit status.
#pragma once

#include <cstdint>
#include <string>

#include "quarlo_host/checker/check_case.h"

namespace quarlo_host {

inline constexpr char case_result_prefix[] = "result ";

// The result line for r, with its line end.
std::string case_result_line(const check_result& r);

// What a case process's output and exit code say: its result when it printed
// one and ended with 0; crashed otherwise, naming the exit code and whatever
// result came before the end.
check_result read_case_output(const std::string& output, uint32_t exit_code);

// An exit code or exception code as 0x%08X.
std::string hex_code(uint32_t code);

}  // namespace quarlo_host
