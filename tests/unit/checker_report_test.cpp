// The reports a run of the checker writes: human, JSON and JUnit XML.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "quarlo_host/checker/check_report.h"

using namespace quarlo_host;

namespace {

const std::vector<check_case> catalogue = {
    {"entry.loads", "loads & <enters>", "why", nullptr},
    {"settings.round_trip", "round \"trip\"", "why", nullptr},
    {"settings.random_bytes", "random", "why", nullptr},
};

case_outcome outcome(size_t c, uint32_t seed, check_status status, std::string details,
                     bool timed_out = false) {
  return {{&catalogue[c], seed, seed - 7}, {status, std::move(details)}, 0.25, timed_out};
}

check_run a_run(bool strict) {
  check_run run{"C:\\m<1>.dll", {}, strict, 1.5, {}};
  run.outcomes = {outcome(0, 7, check_status::passed, ""),
                  outcome(1, 7, check_status::failed, "expected 3, got \xFF"),
                  outcome(2, 7, check_status::warning, "slow"),
                  outcome(0, 8, check_status::crashed, "exit code 0xC0000005"),
                  outcome(1, 8, check_status::skipped, "no record"),
                  outcome(2, 8, check_status::failed, "no end", true)};
  return run;
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(CheckerReport, StrictTurnsWarningsIntoFailuresAndTheVerdictFollows) {
  EXPECT_EQ(run_verdict(a_run(false)), 1);
  check_run clean = a_run(false);
  clean.outcomes = {clean.outcomes[0], clean.outcomes[2], clean.outcomes[4]};
  EXPECT_EQ(run_verdict(clean), 0);
  clean.strict = true;
  EXPECT_EQ(run_verdict(clean), 1);
  EXPECT_EQ(effective_status(clean.outcomes[1], true), check_status::failed);
}

TEST(CheckerReport, JsonHoldsEveryCaseAndRepetition) {
  const auto json = nlohmann::json::parse(report_json({a_run(false)}));
  EXPECT_EQ(json["module"], "C:\\m<1>.dll");
  EXPECT_EQ(json["passed"], false);
  ASSERT_EQ(json["cases"].size(), 6u);
  EXPECT_EQ(json["cases"][3]["status"], "crashed");
  EXPECT_EQ(json["cases"][3]["seed"], 8);
  EXPECT_EQ(json["cases"][3]["repetition"], 1);
  EXPECT_EQ(json["cases"][5]["timed_out"], true);
  EXPECT_EQ(json["summary"]["failed"], 2);
}

TEST(CheckerReport, JunitCountsAndEscapes) {
  const std::string xml = report_junit({a_run(true)});
  EXPECT_EQ(count(xml, "<testcase "), 6u);
  EXPECT_NE(xml.find("tests=\"6\" failures=\"3\" errors=\"1\" skipped=\"1\" time=\"1.500\""),
            std::string::npos)
      << xml;
  EXPECT_NE(
      xml.find("<testcase classname=\"settings\" name=\"settings.round_trip\" time=\"0.250\""),
      std::string::npos);
  EXPECT_NE(xml.find("<error message=\"exit code 0xC0000005\" type=\"crashed\">"),
            std::string::npos);
  EXPECT_NE(xml.find("type=\"timeout\""), std::string::npos);
  // Markup escaped; a byte of invalid UTF-8 XML cannot carry becomes '?'.
  EXPECT_NE(xml.find("m&lt;1&gt;.dll"), std::string::npos);
  EXPECT_NE(xml.find("expected 3, got ?"), std::string::npos);
  EXPECT_EQ(xml.find('\xFF'), std::string::npos);
}

TEST(CheckerReport, SeveralModulesGiveASectionEachAndTheWorstVerdict) {
  check_run clean{"a.dll", {outcome(0, 7, check_status::passed, "")}, false, 0.5, {}};
  check_run broken = a_run(false);
  check_run unloadable{"b.dll", {}, false, 0.25, "it cannot be loaded: no quarlo_get_interface"};
  struct row {
    std::vector<check_run> runs;
    int verdict;
  };
  for (const row& r : {row{{clean}, 0}, row{{clean, broken}, 1}, row{{unloadable, clean}, 2},
                       row{{broken, unloadable}, 2}}) {
    EXPECT_EQ(runs_verdict(r.runs), r.verdict);
  }

  const auto json = nlohmann::json::parse(report_json({clean, broken, unloadable}));
  EXPECT_EQ(json["passed"], false);
  ASSERT_EQ(json["modules"].size(), 3u);
  EXPECT_EQ(json["modules"][0]["module"], "a.dll");
  EXPECT_EQ(json["modules"][0]["passed"], true);
  EXPECT_EQ(json["modules"][1]["cases"].size(), 6u);
  EXPECT_EQ(json["modules"][2]["not_checked"], unloadable.not_checked);
  EXPECT_EQ(json["modules"][2]["passed"], false);

  const std::string xml = report_junit({clean, broken, unloadable});
  EXPECT_EQ(count(xml, "<testsuite "), 3u);
  EXPECT_NE(xml.find("<testsuites name=\"quarlo_host check\" tests=\"8\" failures=\"2\" "
                     "errors=\"2\" skipped=\"1\" time=\"2.250\">"),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("<testsuite name=\"quarlo_host check b.dll\" tests=\"1\" failures=\"0\" "
                     "errors=\"1\""),
            std::string::npos);
  EXPECT_NE(xml.find("type=\"not checked\">it cannot be loaded"), std::string::npos);
}

TEST(CheckerReport, HumanLinesSayStatusIdDetailsAndDuration) {
  const check_run run = a_run(false);
  std::ostringstream out;
  write_case_line(run.outcomes[1], false, out);
  write_summary(run, out);
  EXPECT_EQ(out.str(),
            "failed settings.round_trip: round \"trip\" (expected 3, got \xFF) [0.250 s]\n"
            "summary 1 passed, 2 failed, 1 skipped, 1 warning, 1 crashed in 1.500 s\n");
  // A module's text with a line break stays on its case's line.
  case_outcome broken = run.outcomes[1];
  broken.result.details = "line one\r\nline two";
  std::ostringstream one;
  write_case_line(broken, false, one);
  EXPECT_EQ(one.str(),
            "failed settings.round_trip: round \"trip\" (line one  line two) [0.250 s]\n");
}
