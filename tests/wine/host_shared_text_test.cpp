// quarlo_shared.dll's text functions on a real edit control: the build beside
// the module under test, so each ABI's is tested.
#include <string>

#include <gtest/gtest.h>

#include "module_under_test.h"
#include "quarlo_host/runtime/host_string.h"
#include "quarlo_host/runtime/unique_module.h"
#include "quarlo_host/runtime/utf.h"

using quarlo_host::host_string;

namespace {

constexpr UINT edit_id = 1002;

struct SharedText : ::testing::Test {
  void SetUp() override {
    const std::wstring path = quarlo_host::to_wide(folder_under_test() + "quarlo_shared.dll");
    shared.reset(LoadLibraryW(path.c_str()));
    const shared_text_functions functions = shared_text_of(shared.get());
    get_text = functions.get_text;
    set_text = functions.set_text;
    ASSERT_NE(get_text, nullptr);
    ASSERT_NE(set_text, nullptr);
    parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 50, nullptr, nullptr, nullptr,
                             nullptr);
    ASSERT_NE(parent, nullptr);
    edit =
        CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_AUTOHSCROLL, 0, 0, 200, 20, parent,
                        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(edit_id)), nullptr, nullptr);
    ASSERT_NE(edit, nullptr);
    SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
  }
  void TearDown() override { DestroyWindow(parent); }

  std::wstring control_text() const {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
    return text;
  }

  quarlo_host::unique_module shared;
  decltype(&uGetDlgItemText) get_text = nullptr;
  decltype(&uSetDlgItemTextEx) set_text = nullptr;
  HWND parent = nullptr;
  HWND edit = nullptr;
};

}  // namespace

TEST_F(SharedText, RoundTripsEveryPlaneOfUnicode) {
  const struct {
    const char* utf8;
    const wchar_t* utf16;
  } rows[] = {
      {"", L""},
      {"plain ascii", L"plain ascii"},
      {"caf\xC3\xA9 \xC3\x9C", L"caf\u00E9 \u00DC"},
      {"\xE6\xAD\x8C\xE8\xA9\x9E", L"\u6B4C\u8A5E"},
      {"\xF0\x9F\x8E\xA7 and \xF0\x9D\x84\x9E", L"\xD83C\xDFA7 and \xD834\xDD1E"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.utf8);
    EXPECT_TRUE(set_text(parent, edit_id, r.utf8, trel::until_nul));
    EXPECT_EQ(control_text(), r.utf16);
    host_string out("previous");
    EXPECT_TRUE(get_text(parent, edit_id, out));
    EXPECT_EQ(out.text(), r.utf8);
  }
}

TEST_F(SharedText, SetReadsTheSourceUpToLengthOrNul) {
  const struct {
    const char* text;
    uint32_t length;
    const wchar_t* shown;
  } rows[] = {
      {"abcdef", 3, L"abc"}, {"abcdef", 0, L""},
      {"ab\0cd", 5, L"ab"},  {"abc", trel::until_nul, L"abc"},
      {nullptr, 7, L""},     {"bad \xC3", trel::until_nul, L"bad \xFFFD"},
  };
  for (const auto& r : rows) {
    SetWindowTextW(edit, L"old");
    EXPECT_TRUE(set_text(parent, edit_id, r.text, r.length));
    EXPECT_EQ(control_text(), r.shown);
  }
}

TEST_F(SharedText, LongTextsHaveNoFixedLimit) {
  std::string utf8;
  for (int i = 0; i < 40000; ++i) utf8 += "\xC3\xA9x\xF0\x9F\x8E\xA7";
  ASSERT_TRUE(set_text(parent, edit_id, utf8.c_str(), trel::until_nul));
  EXPECT_EQ(control_text().size(), 40000u * 4);
  host_string out;
  ASSERT_TRUE(get_text(parent, edit_id, out));
  EXPECT_EQ(out.text().size(), utf8.size());
  EXPECT_TRUE(out.text() == utf8);
}

TEST_F(SharedText, UnreadableControlLeavesTheStringUntouched) {
  for (HWND window : {parent, static_cast<HWND>(nullptr)}) {
    host_string out("untouched");
    EXPECT_FALSE(get_text(window, 4321, out));
    EXPECT_EQ(out.text(), "untouched");
    EXPECT_EQ(out.calls(), 0u);
  }
  EXPECT_FALSE(set_text(parent, 4321, "x", trel::until_nul));
}
