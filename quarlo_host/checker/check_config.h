// The checker's file of known deviations, quarlo_check.toml, checked in beside
// a module's project: defaults for `quarlo_host check` and the cases it skips,
// each with the reason.
//
//   seed = 7          # 0 to 4294967295
//   jobs = 2          # 1 or more
//   timeout = 120.5   # seconds, above 0
//   steps = 500       # 1 or more
//   strict = true     # or false
//
//   [skip]
//   "run.opens_dialog" = "our dialog needs a licence server that CI does not have"
//   "memory.*" = 'links the C runtime statically'
//
// A small subset of TOML, read a line at a time: blank lines, comments, bare and
// quoted keys, basic strings (escapes \" \\ \n \t \r \uXXXX) and literal
// strings, decimal integers, decimals (timeout only), true and false, and the
// one table [skip], whose keys are case ids or globs of them. Anything else is
// an error, as is a skip pattern that matches no case of the catalogue: a
// renamed case must not silently stop being skipped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quarlo_host/checker/check_case.h"

namespace quarlo_host {

struct config_skip {
  std::string pattern;
  std::string reason;
};

// What the file sets; an option it leaves out stays empty.
struct check_config {
  std::optional<uint32_t> seed;
  std::optional<unsigned> jobs;
  std::optional<double> timeout_seconds;
  std::optional<uint32_t> steps;
  std::optional<bool> strict;
  // In file order.
  std::vector<config_skip> skips;
};

// True with out filled from text (UTF-8, a leading byte-order mark allowed);
// false with error "line N: what is wrong" and out untouched.
bool parse_check_config(std::string_view text, const std::vector<check_case>& catalogue,
                        check_config& out, std::string& error);

// The first skip whose pattern matches id, or null.
const config_skip* skip_for(const check_config& config, std::string_view id);

}  // namespace quarlo_host
