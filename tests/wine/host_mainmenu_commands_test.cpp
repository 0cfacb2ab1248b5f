// The module's main-menu command group through its table of operations.
#include <string>

#include <gtest/gtest.h>

#include "quarlo/mainmenu_commands.h"
#include "quarlo_host/core/guid_text.h"
#include "quarlo_host/runtime/host_string.h"
#include "tamsel_session.h"

using quarlo_host::format_guid;
using quarlo_host::host_string;

struct CommandGroup : tamsel_session {
  void SetUp() override {
    tamsel_session::SetUp();
    client().first_factory()->make_instance(instance);
    ASSERT_TRUE(instance);
  }
  void TearDown() override {
    // The group lives in the module: release it before the module goes.
    instance.reset();
    tamsel_session::TearDown();
  }
  mainmenu_commands& group() { return *static_cast<mainmenu_commands*>(instance.get()); }

  service_ref instance;
};

TEST_F(CommandGroup, DescribesItsOneCommand) {
  EXPECT_EQ(group().command_count(), 1u);
  EXPECT_EQ(format_guid(group().command_guid(0)), "{099F8FD0-D915-407B-87F8-839C2BA3F401}");
  EXPECT_EQ(format_guid(group().parent_group()), "{F8BE5604-165F-4BB9-B6A9-15E55E0E0D3A}");
  EXPECT_EQ(group().sort_priority(), 0x80000000u);
  host_string name("previous");
  group().command_name(0, name);
  EXPECT_EQ(name.text(), "Tamsel Tool");
}

TEST_F(CommandGroup, IndexesPastTheEndChangeNothing) {
  for (uint32_t index : {1u, 5u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(index);
    EXPECT_TRUE(quarlo::guid_equal(group().command_guid(index), quarlo::null_guid));
    host_string name("keep");
    group().command_name(index, name);
    EXPECT_EQ(name.text(), "keep");
    EXPECT_EQ(name.calls(), 0u);
  }
}

TEST_F(CommandGroup, HasNoDescriptions) {
  for (uint32_t index : {0u, 1u}) {
    host_string text("keep");
    EXPECT_FALSE(group().command_description(index, text));
    EXPECT_EQ(text.text(), "keep");
    EXPECT_EQ(text.calls(), 0u);
  }
}

TEST_F(CommandGroup, DisplayStateShowsTheNameWithNoFlags) {
  struct row {
    uint32_t index;
    const char* expected;
  };
  for (const row& r : {row{0, "Tamsel Tool"}, row{5, "keep"}}) {
    SCOPED_TRACE(r.index);
    host_string text("keep");
    uint32_t flags = 0xDEADBEEF;
    EXPECT_TRUE(group().display_state(r.index, text, flags));
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(text.text(), r.expected);
  }
}

TEST_F(CommandGroup, RunningAnUnknownCommandReleasesTheCallbackOnce) {
  auto& callback = registry.add({0xC0FFEE, 0, 0, {0}}, "callback");
  service_ref passed;
  passed.assign(&callback);
  ASSERT_EQ(callback.outstanding(), 1);
  // The callee owns the by-value reference: it must release it and leave it
  // empty, so the caller's destruction of the argument releases nothing more.
  group().run_command(1, std::move(passed));
  EXPECT_EQ(callback.outstanding(), 0);
  group().run_command(1, service_ref());
  EXPECT_EQ(callback.outstanding(), 0);
  EXPECT_EQ(new_blocks(), 0u);
}
