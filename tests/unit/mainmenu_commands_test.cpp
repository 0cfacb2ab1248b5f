#include "lookup/mainmenu_commands_lookup.h"

#include <cstdint>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "entry/module_globals.h"
#include "host/guid.h"
#include "lookup/lookup_factory.h"
#include "service/service_impl_single_t.h"
#include "service/service_ref.h"
#include "support/fake_host.h"
#include "support/recording_dialog.h"
#include "support/recording_string.h"
#include "support/table_slot.h"
#include "trel/string_base.h"
#include "trel/string_receiver.h"

namespace {

constexpr GUID command_0 = {
    0x099F8FD0, 0xD915, 0x407B, {0x87, 0xF8, 0x83, 0x9C, 0x2B, 0xA3, 0xF4, 0x01}};
constexpr GUID parent = {
    0xF8BE5604, 0x165F, 0x4BB9, {0xB6, 0xA9, 0x15, 0xE5, 0x5E, 0x0E, 0x0D, 0x3A}};

mainmenu_commands& lookup_commands() {
  service_ref ref;
  lookup_commands_factory.make_instance(ref);
  return *static_cast<mainmenu_commands*>(ref.get());
}

TEST(mainmenu_commands, AnswersItsConstants) {
  mainmenu_commands& commands = lookup_commands();
  EXPECT_EQ(commands.command_count(), 1u);
  EXPECT_TRUE(guid_equal(commands.command_guid(0), command_0));
  EXPECT_TRUE(guid_equal(commands.parent_group(), parent));
  EXPECT_EQ(commands.sort_priority(), 0x80000000u);
  for (uint32_t index : {1u, 2u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(index);
    EXPECT_TRUE(guid_equal(commands.command_guid(index), null_guid));
  }
}

TEST(mainmenu_commands, TableSlotsFollowTheServiceBase) {
  void* object = &lookup_commands();
  EXPECT_EQ(call_slot<uint32_t>(object, 0), 1u) << "release";
  EXPECT_EQ(call_slot<uint32_t>(object, 1), 1u) << "add_ref";
  EXPECT_EQ(call_slot<uint32_t>(object, 3), 1u) << "command_count";
  EXPECT_EQ(call_slot<uint32_t>(object, 8), 0x80000000u) << "sort_priority";
}

TEST(mainmenu_commands, NamesOnlyCommandZero) {
  mainmenu_commands& commands = lookup_commands();
  recording_string name("old");
  commands.command_name(0, name);
  EXPECT_EQ(name.text(), "Tamsel Tool");
  ASSERT_EQ(name.calls().size(), 1u);
  EXPECT_STREQ(name.calls()[0].slot, "assign_text");
  EXPECT_EQ(name.calls()[0].length, trel::until_nul);
  for (uint32_t index : {1u, 7u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(index);
    recording_string kept("kept");
    commands.command_name(index, kept);
    EXPECT_EQ(kept.text(), "kept");
    EXPECT_TRUE(kept.calls().empty());
  }
}

TEST(mainmenu_commands, HasNoDescriptions) {
  mainmenu_commands& commands = lookup_commands();
  for (uint32_t index : {0u, 1u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(index);
    recording_string kept("kept");
    EXPECT_FALSE(commands.command_description(index, kept));
    EXPECT_EQ(kept.text(), "kept");
    EXPECT_TRUE(kept.calls().empty());
  }
}

TEST(mainmenu_commands, DisplayStateShowsEveryIndexWithTheNameAndNoFlags) {
  struct row {
    uint32_t index;
    const char* text_after;
  };
  const row rows[] = {{0, "Tamsel Tool"}, {1, "kept"}, {5, "kept"}, {0xFFFFFFFF, "kept"}};
  mainmenu_commands& commands = lookup_commands();
  for (const row& r : rows) {
    SCOPED_TRACE(r.index);
    recording_string text("kept");
    uint32_t flags = 0xFFFFFFFF;
    EXPECT_TRUE(commands.display_state(r.index, text, flags));
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(text.text(), r.text_after);
  }
}

// Counts the calls display_state makes on the object's own command_name slot.
class name_watching_commands : public mainmenu_commands_lookup {
 public:
  void command_name(uint32_t index, trel::string_base& out) override {
    ++name_calls;
    last_index = index;
    mainmenu_commands_lookup::command_name(index, out);
  }
  uint32_t name_calls = 0;
  uint32_t last_index = 0;

 protected:
  ~name_watching_commands() = default;
};

TEST(mainmenu_commands, DisplayStateFillsTextThroughTheCommandNameSlot) {
  service_impl_single_t<name_watching_commands> commands;
  recording_string text("");
  uint32_t flags = 1;
  EXPECT_TRUE(commands.display_state(3, text, flags));
  EXPECT_EQ(commands.name_calls, 1u);
  EXPECT_EQ(commands.last_index, 3u);
}

class run_command_test : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_host_ = module_host;
    saved_instance_ = module_instance;
    module_host = &host;
    module_instance = instance;
    recording_dialog::reset();
  }
  void TearDown() override {
    module_host = saved_host_;
    module_instance = saved_instance_;
    recording_dialog::reset();
  }

  // Runs slot 10 with caller-owned storage holding callback (or nothing) and
  // expects the callee to have emptied it on every path.
  void run(uint32_t index, counted_service* callback) {
    service_base* storage = nullptr;
    if (callback != nullptr) {
      callback->add_ref();
      storage = callback;
    }
    void* object = &lookup_commands();
    try {
      call_slot<void>(object, 10, index, &storage);
    } catch (...) {
      EXPECT_EQ(storage, nullptr) << "callback left in the caller's storage";
      throw;
    }
    EXPECT_EQ(storage, nullptr) << "callback left in the caller's storage";
  }

  fake_host host{0};
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x10000000));

 private:
  host_api* saved_host_ = nullptr;
  HINSTANCE saved_instance_ = nullptr;
};

TEST_F(run_command_test, OpensTheDialogForCommandZeroOnlyAndReleasesTheCallback) {
  struct row {
    uint32_t index;
    bool with_callback;
    uint32_t dialog_runs;
  };
  const row rows[] = {{0, true, 1},  {0, false, 1},         {1, true, 0},
                      {1, false, 0}, {0xFFFFFFFF, true, 0}, {2, false, 0}};
  for (const row& r : rows) {
    SCOPED_TRACE(::testing::Message() << "index " << r.index << " callback " << r.with_callback);
    recording_dialog::reset();
    host.main_window_calls = 0;
    counted_service callback;
    uint32_t references_while_open = 0;
    recording_dialog::while_open([&] { references_while_open = callback.references(); });
    run(r.index, r.with_callback ? &callback : nullptr);
    EXPECT_EQ(recording_dialog::runs(), r.dialog_runs);
    EXPECT_EQ(host.main_window_calls, r.dialog_runs);
    if (r.dialog_runs == 1) {
      EXPECT_EQ(recording_dialog::last_owner(), host.window);
      EXPECT_EQ(recording_dialog::last_module(), instance);
      EXPECT_EQ(references_while_open, r.with_callback ? 2u : 1u)
          << "the callback is held while the dialog runs";
    }
    EXPECT_EQ(callback.references(), 1u);
    EXPECT_EQ(callback.releases(), r.with_callback ? 1u : 0u);
  }
}

TEST_F(run_command_test, DialogFailurePassesAfterTheCallbackIsReleased) {
  const std::exception_ptr failures[] = {std::make_exception_ptr(std::bad_alloc()),
                                         std::make_exception_ptr(std::runtime_error("x"))};
  for (const std::exception_ptr& failure : failures) {
    counted_service callback;
    recording_dialog::end_with(failure);
    std::exception_ptr caught;
    try {
      run(0, &callback);
    } catch (...) {
      caught = std::current_exception();
    }
    EXPECT_EQ(caught, failure) << "the dialog's own exception object comes through";
    EXPECT_EQ(callback.references(), 1u);
    EXPECT_EQ(callback.releases(), 1u);
  }
}

TEST_F(run_command_test, HostFailurePassesAfterTheCallbackIsReleased) {
  host.throw_from_main_window = true;
  counted_service callback;
  EXPECT_THROW(run(0, &callback), std::runtime_error);
  EXPECT_EQ(recording_dialog::runs(), 0u);
  EXPECT_EQ(callback.references(), 1u);
  EXPECT_EQ(callback.releases(), 1u);
}

TEST_F(run_command_test, ByValueCallThroughTheInterfaceReleasesOnce) {
  counted_service callback;
  service_ref ref;
  ref.assign(&callback);
  lookup_commands().run_command(1, std::move(ref));
  EXPECT_EQ(callback.references(), 1u);
  EXPECT_EQ(callback.releases(), 1u);
}

}  // namespace
