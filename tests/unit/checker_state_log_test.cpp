// The state around calls into a module: which call changed what, from what.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quarlo_host/checker/state_log.h"

using namespace quarlo_host;

namespace {

TEST(StateLog, EachChangeIsKeptWithTheCallThatMadeIt) {
  state_log log({{"current directory", "C:\\"}, {"MXCSR", "0x1F80"}});
  log.after("loading", {{"current directory", "C:\\"}, {"MXCSR", "0x1F80"}});
  log.after("group 0 command 0", {{"current directory", "C:\\temp"}, {"MXCSR", "0x1F80"}});
  // A later call is compared with what the one before it left, not with the start.
  log.after("group 0 command 1", {{"current directory", "C:\\temp"}, {"MXCSR", "0x9FC0"}});
  log.after("unloading", {{"current directory", "C:\\"}, {"MXCSR", "0x9FC0"}});

  ASSERT_EQ(log.changes().size(), 3u);
  EXPECT_EQ(describe(log.changes()[0]),
            "group 0 command 0 changed the current directory from C:\\ to C:\\temp");
  EXPECT_EQ(describe(log.changes()[1]),
            "group 0 command 1 changed the MXCSR from 0x1F80 to 0x9FC0");
  EXPECT_EQ(log.changes()[2].call, "unloading");

  const state_change* first = first_change(log.changes(), {"x87 control word", "MXCSR"});
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->call, "group 0 command 1");
  EXPECT_EQ(first_change(log.changes(), {"thread locale"}), nullptr);
}

TEST(StateLog, AnAspectReadLaterStartsWithItsFirstReading) {
  state_log log(state_reading{{"error mode", "0x3"}});
  log.after("loading", {{"error mode", "0x3"}, {"main window procedure", "0x401000"}});
  log.after("group 0 command 0", {{"error mode", "0x3"}, {"main window procedure", "0x401000"}});
  EXPECT_TRUE(log.changes().empty());
  log.after("unloading", {{"main window procedure", "0x10001000"}});
  ASSERT_EQ(log.changes().size(), 1u);
  EXPECT_EQ(log.changes()[0].before, "0x401000");
}

}  // namespace
