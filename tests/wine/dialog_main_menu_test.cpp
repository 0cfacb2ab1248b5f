// The host's main window: its menu built from command groups, and choosing a
// command from it.
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_session.h"
#include "quarlo/mainmenu_commands.h"
#include "quarlo_host/cli/run_window.h"
#include "quarlo_host/runtime/utf.h"
#include "quarlo_host/ui/command_menu.h"
#include "quarlo_host/ui/main_window.h"

using quarlo_host::command_flag_checked;
using quarlo_host::command_flag_disabled;
using quarlo_host::main_window;
using quarlo_host::menu_popup;
using quarlo_host::to_utf8;

namespace {

constexpr GUID parent_p = {0xAAAAAAAA, 1, 1, {1, 1, 1, 1, 1, 1, 1, 1}};
constexpr GUID parent_q = {0xBBBBBBBB, 2, 2, {2, 2, 2, 2, 2, 2, 2, 2}};
// Groups the host offers, under their own titles.
constexpr GUID tools = {
    0xF8BE5604, 0x165F, 0x4BB9, {0xB6, 0xA9, 0x15, 0xE5, 0x5E, 0x0E, 0x0D, 0x3A}};
constexpr GUID file = {
    0xAFDD3C4A, 0xE9B4, 0x41D4, {0x8D, 0xCF, 0x33, 0x97, 0x4A, 0x7D, 0x0D, 0x76}};

// A command group of the test's own, recording the host's calls.
class fake_group final : public counted<mainmenu_commands> {
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

TEST(MainMenu, GroupsByParentOrdersByPriorityAndFollowsDisplayState) {
  fake_group late(parent_p, 5, {{"Alpha", "Alpha", true, 0}});
  fake_group other(parent_q, 1, {{"Beta", "Beta", true, 0}});
  fake_group early(parent_p, 2,
                   {{"Gamma", "Gamma", true, 0},
                    {"Delta", "Delta", false, 0},
                    {"Epsilon", "", true, command_flag_disabled | command_flag_checked}});
  fake_group hidden(parent_q, 0, {{"Zeta", "Zeta", false, 0}});
  fake_group lonely(quarlo::null_guid, 0, {{"Eta", "Eta", false, 0}});
  fake_group in_tools(tools, 9, {{"Theta", "Theta", true, 0}});
  fake_group in_file(file, 9, {{"Iota", "Iota", true, 0}});
  {
    const auto refs = refs_to({&late, &other, &early, &hidden, &lonely, &in_tools, &in_file});
    main_window window(quarlo_host::build_command_menu(refs));

    HMENU bar = GetMenu(window.handle());
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), 4) << "a popup per parent with something to show";
    // The host's own groups first, in its order, then others as they came.
    EXPECT_EQ(menu_text(bar, 0), "&File");
    EXPECT_EQ(menu_text(bar, 1), "&Tools");
    EXPECT_EQ(menu_text(bar, 2), "Group AAAAAAAA");
    EXPECT_EQ(menu_text(bar, 3), "Group BBBBBBBB");
    EXPECT_EQ(menu_text(GetSubMenu(bar, 1), 0), "Theta");

    HMENU p = GetSubMenu(bar, 2);
    ASSERT_EQ(GetMenuItemCount(p), 3);
    EXPECT_EQ(menu_text(p, 0), "Gamma");
    EXPECT_EQ(menu_text(p, 1), "Epsilon") << "an empty display text falls back to the name";
    EXPECT_EQ(menu_text(p, 2), "Alpha");
    EXPECT_EQ(GetMenuState(p, 0, MF_BYPOSITION) & (MF_GRAYED | MF_CHECKED), 0u);
    EXPECT_EQ(GetMenuState(p, 1, MF_BYPOSITION) & (MF_GRAYED | MF_CHECKED),
              UINT(MF_GRAYED | MF_CHECKED));
    HMENU q = GetSubMenu(bar, 3);
    ASSERT_EQ(GetMenuItemCount(q), 1);
    EXPECT_EQ(menu_text(q, 0), "Beta");

    // Choosing an item runs its group's command with an empty reference.
    EXPECT_EQ(GetMenuItemID(p, 1), main_window::command_id(2, 1));
    PostMessageW(window.handle(), WM_COMMAND, GetMenuItemID(p, 1), 0);
    PostMessageW(window.handle(), WM_COMMAND, GetMenuItemID(q, 0), 0);
    // Identifiers of no item and control notifications run nothing.
    PostMessageW(window.handle(), WM_COMMAND, main_window::command_id(3, 1), 0);
    PostMessageW(window.handle(), WM_COMMAND, main_window::command_id(2, 0) | (1u << 16), 0);
    quarlo_host::handle_waiting_messages();
    EXPECT_EQ(early.runs, (std::vector<uint32_t>{0, 0, 1}));
    EXPECT_TRUE(early.callback_was_empty);
    EXPECT_EQ(other.runs, std::vector<uint32_t>{1});
    EXPECT_EQ(late.runs, std::vector<uint32_t>{0});
  }
  for (const fake_group* g : {&late, &other, &early, &hidden, &lonely, &in_tools, &in_file})
    EXPECT_EQ(g->references(), 0u);
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
  EXPECT_EQ(failing.references(), 0u);
}

TEST(MainWindow, ShowsTheModuleAndTheNamedServicesAsText) {
  quarlo_host::service_registry registry;
  registry.add({0x8D116ECE, 0x1738, 0x47D9, {0xBD, 0x9C, 0x17, 0x24, 0x11, 0xE2, 0x0B, 0x8F}},
               "Library Indexer");
  registry.add({1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}}, "Caf\xC3\xA9");
  const std::string overview = quarlo_host::host_overview(
      {"mods\\tamsel.dll", quarlo_host::module_abi::msvc, "1.2.3.4"}, registry);
  EXPECT_EQ(overview,
            "Module\tmods\\tamsel.dll\r\n"
            "ABI\tmsvc (Microsoft C++ ABI)\r\n"
            "Version\t1.2.3.4\r\n"
            "\r\n"
            "Named services (2)\r\n"
            "{8D116ECE-1738-47D9-BD9C-172411E20B8F}\tLibrary Indexer\r\n"
            "{00000001-0002-0003-0405-060708090A0B}\tCaf\xC3\xA9\r\n");
  EXPECT_NE(
      quarlo_host::host_overview({"x.dll", quarlo_host::module_abi::gnu, std::nullopt}, registry)
          .find("ABI\tgnu (GNU C++ ABI)\r\nVersion\tnone\r\n"),
      std::string::npos);

  main_window window({}, overview);
  const HWND text = window.overview_control();
  ASSERT_NE(text, nullptr);
  std::wstring shown(static_cast<size_t>(GetWindowTextLengthW(text)) + 1, L'\0');
  shown.resize(
      static_cast<size_t>(GetWindowTextW(text, shown.data(), static_cast<int>(shown.size()))));
  EXPECT_EQ(to_utf8(shown), overview);
  EXPECT_NE(GetWindowLongW(text, GWL_STYLE) & ES_READONLY, 0) << "read and copied, not edited";
}

using ModuleMenu = dialog_session;

TEST_F(ModuleMenu, ChoosingTamselToolOpensTheDialog) {
  ASSERT_EQ(popups.size(), 1u);
  main_window menu_window(popups);
  host.window = menu_window.handle();
  HMENU bar = GetMenu(menu_window.handle());
  ASSERT_EQ(GetMenuItemCount(bar), 1);
  EXPECT_EQ(menu_text(bar, 0), "&Tools");
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
  quarlo_host::handle_waiting_messages();
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(caption, "Tamsel tool");
  EXPECT_EQ(owner, menu_window.handle());
  EXPECT_EQ(dialog_results(), std::vector<INT_PTR>{2});
  host.window = window->handle();
}

}  // namespace
