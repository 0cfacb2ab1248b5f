// The running lookup dialog read back through the window system: caption,
// styles, and each control's class, text, identifier, styles and rectangle in
// dialog units, in template (tab) order.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_session.h"
#include "quarlo_host/utf.h"

using quarlo_host::dialog_script;
using quarlo_host::lookup_close_id;
using quarlo_host::to_utf8;

namespace {

struct control_spec {
  int id;
  const char* window_class;
  const char* text;
  RECT units;  // x, y, width, height
  DWORD styles;
};

constexpr DWORD child = WS_CHILD | WS_VISIBLE;
constexpr DWORD edit = child | WS_TABSTOP | ES_AUTOHSCROLL;

const std::vector<control_spec> layout = {
    {-1, "Static", "&Input", {3, 6, 18, 8}, child | WS_GROUP},
    {1002, "Edit", "", {31, 3, 246, 14}, edit},
    {-1, "Static", "&GUID", {3, 26, 18, 8}, child | WS_GROUP},
    {1003, "Edit", "", {31, 23, 165, 14}, edit | ES_READONLY},
    {-1, "Static", "&Result", {3, 45, 21, 8}, child | WS_GROUP},
    {1004, "Edit", "", {31, 42, 246, 14}, edit},
    {1005, "Button", "&Update", {167, 65, 50, 14}, child | WS_TABSTOP | BS_DEFPUSHBUTTON},
    {2, "Button", "&Close", {227, 65, 50, 14}, child | WS_TABSTOP | BS_PUSHBUTTON},
};

std::string window_text(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return to_utf8(text);
}

std::string class_of(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return to_utf8(name);
}

// A rectangle of dialog units, each value mapped on its own, as the dialog
// manager places controls.
RECT pixels_of(HWND dialog, const RECT& units) {
  RECT r = units;
  MapDialogRect(dialog, &r);
  return r;
}

// A control's position and size in the dialog's client coordinates.
RECT placement_of(HWND dialog, HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void expect_rect(const RECT& actual, const RECT& expected) {
  EXPECT_EQ(actual.left, expected.left);
  EXPECT_EQ(actual.top, expected.top);
  EXPECT_EQ(actual.right, expected.right) << "width";
  EXPECT_EQ(actual.bottom, expected.bottom) << "height";
}

using DialogTemplate = dialog_session;

TEST_F(DialogTemplate, RunningDialogMatchesItsLayout) {
  bool inspected = false;
  dialog_script script;
  script.inspect([&](HWND dialog) {
    inspected = true;
    EXPECT_EQ(window_text(dialog), "Tamsel tool");
    const DWORD style = GetWindowLongW(dialog, GWL_STYLE);
    for (DWORD bit : {DWORD(WS_POPUP), DWORD(WS_CAPTION), DWORD(WS_SYSMENU), DWORD(DS_MODALFRAME),
                      DWORD(DS_SETFONT), DWORD(DS_FIXEDSYS)})
      EXPECT_EQ(style & bit, bit) << std::hex << "dialog style bit " << bit;
    EXPECT_EQ(style & WS_CHILD, 0u);
    EXPECT_EQ(GetMenu(dialog), nullptr);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), host.window);

    RECT client;
    GetClientRect(dialog, &client);
    expect_rect({0, 0, client.right, client.bottom}, pixels_of(dialog, {0, 0, 280, 82}));

    HWND control = GetWindow(dialog, GW_CHILD);
    for (const control_spec& spec : layout) {
      SCOPED_TRACE(spec.text[0] ? spec.text : std::to_string(spec.id));
      ASSERT_NE(control, nullptr) << "fewer controls than the layout";
      EXPECT_EQ(GetDlgCtrlID(control), spec.id);
      EXPECT_STRCASEEQ(class_of(control).c_str(), spec.window_class);
      EXPECT_EQ(window_text(control), spec.text);
      const DWORD styles = GetWindowLongW(control, GWL_STYLE);
      EXPECT_EQ(styles & spec.styles, spec.styles) << std::hex << styles;
      if (std::string(spec.window_class) == "Edit") {
        // The edit control shows its border as a sunken client edge.
        const bool border = (styles & WS_BORDER) != 0 ||
                            (GetWindowLongW(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0;
        EXPECT_TRUE(border);
        EXPECT_EQ(styles & ES_MULTILINE, 0u);
      }
      if (std::string(spec.window_class) == "Button") {
        EXPECT_EQ(styles & BS_TYPEMASK, spec.styles & BS_TYPEMASK);
      }
      expect_rect(placement_of(dialog, control), pixels_of(dialog, spec.units));
      control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_EQ(control, nullptr) << "more controls than the layout";
    // The default button is Update, so Enter reaches it.
    EXPECT_EQ(LOWORD(SendMessageW(dialog, DM_GETDEFID, 0, 0)), 1005);
  });
  script.click(lookup_close_id);
  open(script);
  EXPECT_TRUE(inspected);
}

}  // namespace
