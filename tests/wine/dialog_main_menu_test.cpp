// The host's main window: its menu built from command groups, and choosing a
// command from it.
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_session.h"
#include "quarlo/mainmenu_commands.h"
#include "quarlo_host/ui/command_menu.h"
#include "quarlo_host/ui/main_window.h"
#include "quarlo_host/utf.h"

using quarlo_host::command_flag_checked;
using quarlo_host::command_flag_disabled;
using quarlo_host::main_window;
using quarlo_host::menu_popup;
using quarlo_host::to_utf8;

namespace {

constexpr GUID parent_p = {0xAAAAAAAA, 1, 1, {1, 1, 1, 1, 1, 1, 1, 1}};
constexpr GUID parent_q = {0xBBBBBBBB, 2, 2, {2, 2, 2, 2, 2, 2, 2, 2}};

// A command group of the test's own, recording the host's calls.
class fake_group final : public mainmenu_commands {
 public:
  struct command {
    std::string name;
    std::string display;  // what display_state writes; empty writes nothing
    bool shown = true;
    uint32_t flags = 0;
  };

  fake_group(const GUID& parent, uint32_t priority, std::vector<command> commands)
      : runs(commands.size(), 0),
        parent_(parent),
        priority_(priority),
        commands_(std::move(commands)) {}

  uint32_t release() override { return --references; }
  uint32_t add_ref() override { return ++references; }
  bool query(service_ref&, const GUID&) override { return false; }
  uint32_t command_count() override { return static_cast<uint32_t>(commands_.size()); }
  GUID command_guid(uint32_t index) override {
    return {parent_.Data1, static_cast<uint16_t>(priority_), static_cast<uint16_t>(index), {}};
  }
  void command_name(uint32_t index, trel::string_base& out) override {
    out.assign_text(commands_[index].name.c_str(), trel::until_nul);
  }
  bool command_description(uint32_t, trel::string_base&) override { return false; }
  GUID parent_group() override { return parent_; }
  uint32_t sort_priority() override { return priority_; }
  bool display_state(uint32_t index, trel::string_base& text, uint32_t& flags) override {
    const command& c = commands_[index];
    if (!c.display.empty()) text.assign_text(c.display.c_str(), trel::until_nul);
    flags = c.flags;
    return c.shown;
  }
  void run_command(uint32_t index, service_ref callback) override {
    ++runs[index];
    callback_was_empty = !callback;
    callback.reset();
    if (throw_on_run) throw std::bad_alloc();
  }

  uint32_t references = 0;
  std::vector<uint32_t> runs;
  bool callback_was_empty = false;
  bool throw_on_run = false;

 private:
  GUID parent_;
  uint32_t priority_;
  std::vector<command> commands_;
};

std::vector<service_ref> refs_to(std::initializer_list<fake_group*> groups) {
  std::vector<service_ref> refs;
  for (fake_group* g : groups) {
    refs.emplace_back();
    refs.back().assign(g);
  }
  return refs;
}

std::string menu_text(HMENU menu, UINT position) {
  wchar_t text[128] = {};
  GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
  return to_utf8(text);
}

// Dispatches what is queued for this thread.
void pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

TEST(MainMenu, GroupsByParentOrdersByPriorityAndFollowsDisplayState) {
  fake_group late(parent_p, 5, {{"Alpha", "Alpha", true, 0}});
  fake_group other(parent_q, 1, {{"Beta", "Beta", true, 0}});
  fake_group early(parent_p, 2,
                   {{"Gamma", "Gamma", true, 0},
                    {"Delta", "Delta", false, 0},
                    {"Epsilon", "", true, command_flag_disabled | command_flag_checked}});
  fake_group hidden(parent_q, 0, {{"Zeta", "Zeta", false, 0}});
  fake_group lonely(quarlo::null_guid, 0, {{"Eta", "Eta", false, 0}});
  {
    const auto refs = refs_to({&late, &other, &early, &hidden, &lonely});
    main_window window(quarlo_host::build_command_menu(refs));

    HMENU bar = GetMenu(window.handle());
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), 2) << "a popup per parent with something to show";
    EXPECT_EQ(menu_text(bar, 0), "{AAAAAAAA-0001-0001-0101-010101010101}");
    EXPECT_EQ(menu_text(bar, 1), "{BBBBBBBB-0002-0002-0202-020202020202}");

    HMENU p = GetSubMenu(bar, 0);
    ASSERT_EQ(GetMenuItemCount(p), 3);
    EXPECT_EQ(menu_text(p, 0), "Gamma");
    EXPECT_EQ(menu_text(p, 1), "Epsilon") << "an empty display text falls back to the name";
    EXPECT_EQ(menu_text(p, 2), "Alpha");
    EXPECT_EQ(GetMenuState(p, 0, MF_BYPOSITION) & (MF_GRAYED | MF_CHECKED), 0u);
    EXPECT_EQ(GetMenuState(p, 1, MF_BYPOSITION) & (MF_GRAYED | MF_CHECKED),
              UINT(MF_GRAYED | MF_CHECKED));
    HMENU q = GetSubMenu(bar, 1);
    ASSERT_EQ(GetMenuItemCount(q), 1);
    EXPECT_EQ(menu_text(q, 0), "Beta");

    // Choosing an item runs its group's command with an empty reference.
    EXPECT_EQ(GetMenuItemID(p, 1), main_window::command_id(0, 1));
    PostMessageW(window.handle(), WM_COMMAND, GetMenuItemID(p, 1), 0);
    PostMessageW(window.handle(), WM_COMMAND, GetMenuItemID(q, 0), 0);
    // Identifiers of no item and control notifications run nothing.
    PostMessageW(window.handle(), WM_COMMAND, main_window::command_id(1, 1), 0);
    PostMessageW(window.handle(), WM_COMMAND, main_window::command_id(0, 0) | (1u << 16), 0);
    pump();
    EXPECT_EQ(early.runs, (std::vector<uint32_t>{0, 0, 1}));
    EXPECT_TRUE(early.callback_was_empty);
    EXPECT_EQ(other.runs, std::vector<uint32_t>{1});
    EXPECT_EQ(late.runs, std::vector<uint32_t>{0});
  }
  for (const fake_group* g : {&late, &other, &early, &hidden, &lonely})
    EXPECT_EQ(g->references, 0u);
}

TEST(MainMenu, ExceptionOfAChosenCommandEndsTheLoopAndIsThrownOn) {
  fake_group failing(parent_p, 0, {{"Fail", "Fail", true, 0}});
  failing.throw_on_run = true;
  {
    const auto refs = refs_to({&failing});
    main_window window(quarlo_host::build_command_menu(refs));
    PostMessageW(window.handle(), WM_COMMAND, main_window::command_id(0, 0), 0);
    EXPECT_THROW(window.show_and_wait(), std::bad_alloc);
    EXPECT_EQ(failing.runs, std::vector<uint32_t>{1});
    EXPECT_TRUE(IsWindow(window.handle()));
  }
  EXPECT_EQ(failing.references, 0u);
}

using ModuleMenu = dialog_session;

TEST_F(ModuleMenu, ChoosingTamselToolOpensTheDialog) {
  ASSERT_EQ(popups.size(), 1u);
  main_window menu_window(popups);
  host.window = menu_window.handle();
  HMENU bar = GetMenu(menu_window.handle());
  ASSERT_EQ(GetMenuItemCount(bar), 1);
  EXPECT_EQ(menu_text(bar, 0), "{F8BE5604-165F-4BB9-B6A9-15E55E0E0D3A}");
  HMENU group = GetSubMenu(bar, 0);
  ASSERT_EQ(GetMenuItemCount(group), 1);
  EXPECT_EQ(menu_text(group, 0), "Tamsel Tool");
  EXPECT_EQ(GetMenuState(group, 0, MF_BYPOSITION) & (MF_GRAYED | MF_CHECKED), 0u);

  std::string caption;
  HWND owner = nullptr;
  quarlo_host::dialog_script script;
  script.inspect([&](HWND dialog) {
    wchar_t text[64] = {};
    GetWindowTextW(dialog, text, 64);
    caption = to_utf8(text);
    owner = GetWindow(dialog, GW_OWNER);
  });
  script.click(quarlo_host::lookup_close_id);
  menu_window.drive_dialogs(&script);
  PostMessageW(menu_window.handle(), WM_COMMAND, GetMenuItemID(group, 0), 0);
  pump();
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(caption, "Tamsel tool");
  EXPECT_EQ(owner, menu_window.handle());
  EXPECT_EQ(dialog_results(), std::vector<INT_PTR>{2});
  host.window = window->handle();
}

}  // namespace
