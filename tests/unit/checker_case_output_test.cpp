// What the parent makes of a case process: its result line and exit code.
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "quarlo_host/checker/case_output.h"

using namespace quarlo_host;

namespace {

struct output_row {
  const char* name;
  std::string output;
  uint32_t exit_code;
  check_status status;
  std::string details;
};

const output_row rows[] = {
    {"a result and exit code 0", "result {\"status\":\"passed\",\"details\":\"ok\"}\n", 0,
     check_status::passed, "ok"},
    {"the module's own output around it", "result fake\nnoise\nresult {\"status\":\"failed\"}\r\n",
     0, check_status::failed, ""},
    {"a result line only at the start of a line counts", "xresult {\"status\":\"passed\"}\n", 0,
     check_status::crashed, "the case process ended with exit code 0x00000000 and no result"},
    {"no result: crashed with the code", "", 0xC0000005, check_status::crashed,
     "the case process ended with exit code 0xC0000005 and no result"},
    {"a crash after a passed result is a crash, with both",
     "result {\"status\":\"passed\",\"details\":\"2 runs\"}\n", 0xC0000005, check_status::crashed,
     "the case process ended with exit code 0xC0000005 after its result, passed: 2 runs"},
    {"a non-zero exit after a failed result", "result {\"status\":\"failed\",\"details\":\"x\"}\n",
     3, check_status::crashed,
     "the case process ended with exit code 0x00000003 after its result, "
     "failed: x"},
    {"a crash the case process reported itself keeps its own details",
     "result {\"status\":\"crashed\",\"details\":\"exception 0xC0000005; step 4\"}\n", 0xC0000005,
     check_status::crashed, "exception 0xC0000005; step 4"},
    {"a status of the wrong type is no result", "result {\"status\":3}\n", 0, check_status::crashed,
     "the case process ended with exit code 0x00000000 and no result"},
    {"details of the wrong type are none", "result {\"status\":\"passed\",\"details\":[1]}\n", 0,
     check_status::passed, ""},
};

TEST(CheckerCaseOutput, ResultLineAndExitCodeTogether) {
  for (const auto& row : rows) {
    const check_result r = read_case_output(row.output, row.exit_code);
    EXPECT_EQ(status_name(r.status), std::string(status_name(row.status))) << row.name;
    EXPECT_EQ(r.details, row.details) << row.name;
  }
}

// Details that JSON escapes come back whole; bytes that are not UTF-8 come
// back replaced, not as a broken line.
TEST(CheckerCaseOutput, WrittenLinesReadBack) {
  const std::pair<check_result, std::string> written[] = {
      {{check_status::warning, "quote \" and \n line"}, "quote \" and \n line"},
      {{check_status::passed, "bad byte \xFF"}, "bad byte \xEF\xBF\xBD"},
  };
  for (const auto& [r, details] : written) {
    const check_result back = read_case_output("noise\n" + case_result_line(r), 0);
    EXPECT_EQ(back.status, r.status);
    EXPECT_EQ(back.details, details);
  }
}

}  // namespace
