// The catalogue's cases by area, each list in catalogue order.
#pragma once

#include <vector>

#include "quarlo_host/checker/check_case.h"

namespace quarlo_host {

std::vector<check_case> entry_cases();
std::vector<check_case> client_cases();
std::vector<check_case> factory_cases();
std::vector<check_case> command_cases();
std::vector<check_case> settings_cases();
std::vector<check_case> memory_cases();
std::vector<check_case> exception_cases();
std::vector<check_case> run_cases();
std::vector<check_case> process_cases();
std::vector<check_case> thread_cases();
std::vector<check_case> sequence_cases();

}  // namespace quarlo_host
