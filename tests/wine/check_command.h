// `quarlo_host check` run in the test's own process, as the command line runs it.
#pragma once

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "module_under_test.h"
#include "quarlo_host/cli/commands.h"

struct run_result {
  int status;
  std::string out;
  std::string err;
};

// check with args; a case's time limit, unless args set one, as long as
// Wine's speed here needs.
inline run_result check(std::vector<std::string> args) {
  args.insert(args.begin(), "check");
  if (std::find(args.begin(), args.end(), "--timeout") == args.end()) {
    args.insert(args.end(), {"--timeout", time_limit(60)});
  }
  std::ostringstream out, err;
  const int status = quarlo_host::run_host(args, out, err);
  return {status, out.str(), err.str()};
}
