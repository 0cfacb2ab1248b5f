// Choosing the checker's cases by glob patterns on their ids.
#include "quarlo_host/checker/case_selection.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace quarlo_host;

namespace {

const std::vector<check_case> catalogue = {
    {"entry.loads", "loads", "why", nullptr},
    {"settings.round_trip", "round trip", "why", nullptr},
    {"settings.random_bytes", "random", "why", nullptr},
};

}  // namespace

TEST(CheckerSelection, GlobsChooseCasesById) {
  struct row {
    const char* pattern;
    const char* id;
    bool matches;
  };
  const row rows[] = {
      {"settings.*", "settings.round_trip", true},
      {"settings.*", "settings.", true},
      {"settings.*", "memory.settings", false},
      {"*.names", "commands.names", true},
      {"commands.?ames", "commands.names", true},
      {"commands.?ames", "commands.ames", false},
      {"*a*b*", "xaxxbx", true},
      {"*a*b", "xaxxbx", false},
      {"entry.loads", "entry.loads", true},
      {"entry.loads", "entry.loadsx", false},
      {"", "", true},
      {"*", "", true},
  };
  for (const row& r : rows) {
    EXPECT_EQ(glob_match(r.pattern, r.id), r.matches) << r.pattern << " " << r.id;
  }
  std::vector<const check_case*> chosen;
  std::string error;
  ASSERT_TRUE(
      select_cases(catalogue, {"settings.*", "entry.loads"}, {"settings.random_*"}, chosen, error));
  ASSERT_EQ(chosen.size(), 2u);
  EXPECT_EQ(chosen[0], &catalogue[0]);
  EXPECT_EQ(chosen[1], &catalogue[1]);
  EXPECT_FALSE(select_cases(catalogue, {}, {"setings.*"}, chosen, error));
  EXPECT_EQ(error, "no case matches setings.*");
  EXPECT_FALSE(select_cases(catalogue, {"entry.*"}, {"*"}, chosen, error));
  EXPECT_EQ(error, "the patterns leave no case to run");
}
