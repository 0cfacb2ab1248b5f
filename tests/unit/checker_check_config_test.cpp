// The checker's file of known deviations: its options, its skips, and the
// line of whatever it cannot read.
#include "quarlo_host/checker/check_config.h"

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace quarlo_host;

namespace {

const std::vector<check_case> catalogue = {
    {"entry.loads", "loads", "why", nullptr},
    {"run.opens_dialog", "opens a dialog", "why", nullptr},
    {"memory.heap_balanced", "heap balanced", "why", nullptr},
    {"memory.static_runtime", "static runtime", "why", nullptr},
};

// What a config holds, in one line: the options given, then the skips.
std::string summary(const check_config& config) {
  std::ostringstream s;
  if (config.seed) s << " seed " << *config.seed;
  if (config.jobs) s << " jobs " << *config.jobs;
  if (config.timeout_seconds) s << " timeout " << *config.timeout_seconds;
  if (config.steps) s << " steps " << *config.steps;
  if (config.strict) s << " strict " << *config.strict;
  for (const auto& skip : config.skips) s << " [" << skip.pattern << "=" << skip.reason << "]";
  const std::string text = s.str();
  return text.empty() ? text : text.substr(1);
}

}  // namespace

TEST(CheckerConfig, ReadsOptionsAndSkipsAndFindsTheFirstSkipOfACase) {
  const char* text =
      "\xEF\xBB\xBF# Known deviations of checker_conforming.dll, kept with the module.\r\n"
      "seed = 7          # integer, 0..4294967295\r\n"
      "jobs = 2\r\n"
      "timeout = 120.5\r\n"
      "steps = 500\n"
      "strict = true\n"
      "\n"
      "[skip]\n"
      "# case id or glob = the reason\n"
      "\"run.opens_dialog\" = \"our dialog needs a licence server that CI does not have\"\n"
      "\"memory.*\" = 'links the C runtime statically'\n"
      "\"memory.heap_balanced\" = \"shadowed by memory.*\"";
  check_config config;
  std::string error;
  ASSERT_TRUE(parse_check_config(text, catalogue, config, error)) << error;
  EXPECT_EQ(summary(config),
            "seed 7 jobs 2 timeout 120.5 steps 500 strict 1"
            " [run.opens_dialog=our dialog needs a licence server that CI does not have]"
            " [memory.*=links the C runtime statically]"
            " [memory.heap_balanced=shadowed by memory.*]");
  EXPECT_EQ(skip_for(config, "run.opens_dialog"), &config.skips[0]);
  EXPECT_EQ(skip_for(config, "memory.heap_balanced"), &config.skips[1]);
  EXPECT_EQ(skip_for(config, "entry.loads"), nullptr);
}

TEST(CheckerConfig, ReadsEachFormOfKeyAndValue) {
  struct row {
    const char* text;
    const char* summary;
  };
  const row rows[] = {
      {"seed = 0", "seed 0"},
      {"seed = +4294967295", "seed 4294967295"},
      {"jobs = 4294967295\nsteps = 1", "jobs 4294967295 steps 1"},
      {"timeout = 0.25", "timeout 0.25"},
      {"timeout = 120 # two minutes", "timeout 120"},
      {"strict = false", "strict 0"},
      {"'seed'=1#", "seed 1"},
      {"\t\"strict\" = true", "strict 1"},
      {"  # only a comment\n\n", ""},
      {"[skip]\n\"entry.loads\" = \"q\\\"b\\\\s\\n\\t\\r\"", "[entry.loads=q\"b\\s\n\t\r]"},
      {"[skip]\n\"entry.loads\" = \"\\u0041\\u00e9\\uFFFD # kept\"",
       "[entry.loads=A\xC3\xA9\xEF\xBF\xBD # kept]"},
      {"[skip]\n'memory.*' = 'C:\\runtime\t\"static\"'", "[memory.*=C:\\runtime\t\"static\"]"},
      {"[ skip ] # the cases left out\n\"run.*\"=\"x\"", "[run.*=x]"},
  };
  for (const row& r : rows) {
    check_config config;
    std::string error;
    ASSERT_TRUE(parse_check_config(r.text, catalogue, config, error)) << r.text << ": " << error;
    EXPECT_EQ(summary(config), r.summary) << r.text;
  }
}

TEST(CheckerConfig, RejectsWhatItCannotReadWithTheLineAndKeepsTheOldConfig) {
  struct row {
    const char* text;
    const char* error;
  };
  const row rows[] = {
      {"seed = -1", "line 1: seed must be an integer from 0 to 4294967295"},
      {"seed = 4294967296", "line 1: seed must be an integer from 0 to 4294967295"},
      {"seed = 99999999999999999999", "line 1: seed must be an integer from 0 to 4294967295"},
      {"seed = 1.0", "line 1: seed must be an integer from 0 to 4294967295"},
      {"jobs = 0", "line 1: jobs must be an integer from 1 to 4294967295"},
      {"steps = \"5\"", "line 1: steps must be an integer from 1 to 4294967295"},
      {"timeout = 0", "line 1: timeout must be seconds above 0"},
      {"timeout = -0.5", "line 1: timeout must be seconds above 0"},
      {"timeout = -99999999999999999999", "line 1: timeout must be seconds above 0"},
      {"timeout = false", "line 1: timeout must be seconds above 0"},
      {"strict = 1", "line 1: strict must be true or false"},
      {"colour = 1",
       "line 1: unknown option colour: the options are seed, jobs, timeout, steps and strict"},
      {"\n# c\nseed = 1\n\n'seed' = 2", "line 5: option seed given twice (first on line 3)"},
      {"seed =", "line 1: expected a value after ="},
      {"seed = # none", "line 1: expected a value after ="},
      {"seed 7", "line 1: expected = after the key"},
      {"= 7", "line 1: expected a key"},
      {"seed = 7 8", "line 1: unexpected text after the value: 8"},
      {"seed = 1_000", "line 1: underscores in numbers are not supported"},
      {"seed = 07", "line 1: leading zeros are not allowed"},
      {"seed = +-7", "line 1: expected a string, a number, true or false, not +-7"},
      {"timeout = 1.", "line 1: expected a string, a number, true or false, not 1."},
      {"timeout = .5", "line 1: expected a string, a number, true or false, not .5"},
      {"timeout = 1e3", "line 1: expected a string, a number, true or false, not 1e3"},
      {"strict = True", "line 1: expected a string, a number, true or false, not True"},
      {"seed = [1]", "line 1: arrays are not supported"},
      {"seed = {x = 1}", "line 1: inline tables are not supported"},
      {"[skip]\n\"entry.loads\" = '''x'''", "line 2: multi-line strings are not supported"},
      {"[skip]\nrun.opens_dialog = \"x\"",
       "line 2: dotted keys are not supported: quote a key that has dots"},
      {"[skip]\n\"entry.loads\" = \"open", "line 2: a string is not closed on its line"},
      {"[skip]\n\"entry.loads\" = \"open\\", "line 2: a string is not closed on its line"},
      {"[skip]\n\"entry.loads\" = \"\\q\"",
       R"(line 2: unsupported escape: the escapes are \" \\ \n \t \r and \uXXXX)"},
      {"[skip]\n\"entry.loads\" = \"\\u12\"", R"(line 2: \u needs four hex digits)"},
      {"[skip]\n\"entry.loads\" = \"\\uD800\"",
       R"(line 2: \uD800 is a surrogate, not a character)"},
      {"[skip]\n\"entry.loads\" = \"a\x01z\"", "line 2: a control character in a string"},
      {"[skip]\n\"entry.loads\" = \"a\x7Fz\"", "line 2: a control character in a string"},
      {"[other]", "line 1: unknown table [other]: the only one is [skip]"},
      {"[skip]\n[skip]", "line 2: table [skip] given twice (first on line 1)"},
      {"[[skip]]", "line 1: arrays of tables are not supported"},
      {"[skip", "line 1: expected ] after the table name"},
      {"[skip] x", "line 1: unexpected text after the table name: x"},
      {"[skip]\n\"entry.loads\" = \" \"", "line 2: the skip of \"entry.loads\" needs a reason"},
      {"[skip]\nseed = 7",
       "line 2: a skip's value is its reason, a string (options go before [skip])"},
      {"[skip]\n\"setings.*\" = \"x\"",
       "line 2: \"setings.*\" matches no case: a case renamed? `quarlo_host check --list` names "
       "them"},
      {"[skip]\n'memory.*' = \"a\"\n\"memory.*\" = \"b\"",
       "line 3: skip pattern \"memory.*\" given twice (first on line 2)"},
      {"seed = 1\n# \xC3\x28", "line 2: not valid UTF-8"},
  };
  for (const row& r : rows) {
    check_config config;
    config.seed = 99;
    std::string error;
    EXPECT_FALSE(parse_check_config(r.text, catalogue, config, error)) << r.text;
    EXPECT_EQ(error, r.error) << r.text;
    EXPECT_EQ(summary(config), "seed 99") << r.text;
  }
}
