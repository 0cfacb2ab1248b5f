// Which cases a run takes: --only and --skip globs on case ids.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "quarlo_host/checker/check_case.h"

namespace quarlo_host {

// '*' matches any run of characters, '?' any one; everything else itself.
bool glob_match(std::string_view pattern, std::string_view text);

// The cases, in catalogue order, that match some only pattern (every case
// when there is none) and no skip pattern. False with error naming the first
// pattern that matches no case at all, which is most likely a typing mistake.
bool select_cases(const std::vector<check_case>& catalogue, const std::vector<std::string>& only,
                  const std::vector<std::string>& skip, std::vector<const check_case*>& out,
                  std::string& error);

}  // namespace quarlo_host
