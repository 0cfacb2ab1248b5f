// Every case `quarlo_host check` knows, in catalogue order: entry, client,
// factories, commands, settings, memory, exceptions, run, threads, sequence.
#pragma once

#include <string_view>
#include <vector>

#include "quarlo_host/checker/check_case.h"

namespace quarlo_host {

const std::vector<check_case>& check_catalogue();

// The case with this id; null when there is none.
const check_case* find_check_case(std::string_view id);

}  // namespace quarlo_host
