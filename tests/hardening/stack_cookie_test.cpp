// Stack protection in the Microsoft-ABI build, under Wine: a module that
// overruns a stack buffer ends its process with the fail-fast status, and
// the checker, running each case in a process of its own, reports the case
// that hits it as crashed and carries on.
#include <stdlib.h>

#include <string>

#include <gtest/gtest.h>

#include "support/check_report_lines.h"
#include "support/host_program.h"

namespace {

constexpr unsigned long stack_buffer_overrun = 0xC0000409;

std::string overrun_module() {
  const char* path = getenv("TAMSEL_OVERRUN_MODULE");
  return path != nullptr ? path : "stack_overrun_module.dll";
}

}  // namespace

TEST(StackCookie, AnOverrunEndsTheProcessWithTheFailFastStatus) {
  const host_program_result r =
      run_host_program("check-case " + overrun_module() + " settings.round_trip 7 --abi msvc");
  EXPECT_EQ(r.exit_code, stack_buffer_overrun) << r.output;
  // The process ended inside the module: the case wrote no result.
  EXPECT_EQ(r.output.find("result"), std::string::npos) << r.output;
}

TEST(StackCookie, TheCheckerReportsTheOverrunCaseAsCrashed) {
  const host_program_result r = run_host_program("check " + overrun_module() + " --seed 7");
  EXPECT_EQ(r.exit_code, 1ul) << r.output;
  const auto lines = report_lines(r.output);
  ASSERT_TRUE(lines.count("settings.round_trip")) << r.output;
  EXPECT_EQ(lines.at("settings.round_trip").status, "crashed") << r.output;
  // Every case that crashed hit the cookie, and the cases that load no
  // settings ran to their end.
  for (const auto& [id, line] : lines) {
    if (line.status == "crashed") {
      EXPECT_NE(line.details.find("0xC0000409"), std::string::npos) << id;
    }
  }
  for (const char* id : {"entry.single_export", "client.version_stable", "client.debug_build"}) {
    ASSERT_TRUE(lines.count(id)) << id << "\n" << r.output;
    EXPECT_NE(lines.at(id).status, "crashed") << id;
  }
}
