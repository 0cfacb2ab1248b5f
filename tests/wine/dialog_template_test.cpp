// The lookup dialog's template: as the module's resources hold it (extended
// format, language, font, exact styles), and as the running dialog reads back
// through the window system (caption, styles, and each control's class, text,
// identifier, styles and rectangle in dialog units, in template (tab) order).
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_session.h"
#include "quarlo_host/runtime/utf.h"

using quarlo_host::dialog_script;
using quarlo_host::lookup_close_id;
using quarlo_host::to_utf8;

namespace {

struct control_layout {
  int id;
  const char* window_class;
  const char* text;
  RECT units;  // x, y, width, height
  DWORD styles;
};

constexpr DWORD child = WS_CHILD | WS_VISIBLE;
constexpr DWORD edit = child | WS_TABSTOP | ES_AUTOHSCROLL;

const std::vector<control_layout> layout = {
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

// Reads the fields of an extended dialog template in order.
class template_reader {
 public:
  template_reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  template <class T>
  T next() {
    T value{};
    if (at_ + sizeof(T) > size_) {
      ADD_FAILURE() << "the template ends early";
      return value;
    }
    std::memcpy(&value, data_ + at_, sizeof(T));
    at_ += sizeof(T);
    return value;
  }
  // A NUL-terminated UTF-16 text.
  std::string text() {
    std::wstring wide;
    for (uint16_t unit = next<uint16_t>(); unit != 0 && at_ <= size_; unit = next<uint16_t>())
      wide.push_back(static_cast<wchar_t>(unit));
    return to_utf8(wide);
  }
  // A name or an ordinal: "#N" for an ordinal, "" for none.
  std::string name_or_ordinal() {
    const size_t start = at_;
    const uint16_t first = next<uint16_t>();
    if (first == 0xFFFF) return "#" + std::to_string(next<uint16_t>());
    at_ = start;
    return text();
  }
  void align_to_dword() { at_ = (at_ + 3) & ~size_t(3); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// The standard classes a template names by ordinal.
std::string class_name_of(const std::string& name) {
  if (name == "#128") return "Button";
  if (name == "#129") return "Edit";
  if (name == "#130") return "Static";
  return name;
}

using DialogTemplate = dialog_session;

TEST_F(DialogTemplate, ResourceIsAnExtendedUsEnglishTemplateWithExactStyles) {
  const HMODULE tamsel = module->handle();
  const HRSRC found = FindResourceExW(tamsel, MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(101),
                                      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  ASSERT_NE(found, nullptr) << "no dialog 101 in English (United States)";
  const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(tamsel, found)));
  ASSERT_NE(data, nullptr);
  template_reader t(data, SizeofResource(tamsel, found));

  EXPECT_EQ(t.next<uint16_t>(), 1u) << "version of an extended template";
  EXPECT_EQ(t.next<uint16_t>(), 0xFFFFu) << "signature of an extended template";
  t.next<uint32_t>();  // help identifier
  EXPECT_EQ(t.next<uint32_t>(), 0u) << "extended style";
  EXPECT_EQ(t.next<uint32_t>(),
            DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS));
  const uint16_t count = t.next<uint16_t>();
  ASSERT_EQ(count, layout.size());
  const RECT placed = {t.next<int16_t>(), t.next<int16_t>(), t.next<int16_t>(), t.next<int16_t>()};
  expect_rect(placed, {0, 0, 280, 82});
  EXPECT_EQ(t.name_or_ordinal(), "") << "menu";
  EXPECT_EQ(t.name_or_ordinal(), "") << "window class";
  EXPECT_EQ(t.text(), "Tamsel tool");
  EXPECT_EQ(t.next<uint16_t>(), 8u) << "points";
  EXPECT_EQ(t.next<uint16_t>(), 400u) << "weight";
  EXPECT_EQ(t.next<uint8_t>(), 0u) << "italic";
  EXPECT_EQ(t.next<uint8_t>(), 1u) << "character set";
  EXPECT_EQ(t.text(), "MS Shell Dlg");

  for (const control_layout& expected : layout) {
    SCOPED_TRACE(expected.text[0] ? expected.text : std::to_string(expected.id));
    t.align_to_dword();
    t.next<uint32_t>();  // help identifier
    EXPECT_EQ(t.next<uint32_t>(), 0u) << "extended style";
    const DWORD styles = t.next<uint32_t>();
    const RECT units = {t.next<int16_t>(), t.next<int16_t>(), t.next<int16_t>(), t.next<int16_t>()};
    const int32_t id = t.next<int32_t>();
    const std::string window_class = class_name_of(t.name_or_ordinal());
    const std::string text = t.text();
    const uint16_t extra = t.next<uint16_t>();
    for (uint16_t i = 0; i < extra; ++i) t.next<uint8_t>();

    EXPECT_EQ(id, expected.id);
    EXPECT_STRCASEEQ(window_class.c_str(), expected.window_class);
    EXPECT_EQ(text, expected.text);
    const DWORD border = std::string(expected.window_class) == "Edit" ? WS_BORDER : 0;
    EXPECT_EQ(styles, expected.styles | border) << std::hex << styles;
    expect_rect(units, expected.units);
  }
}

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
    for (const control_layout& expected : layout) {
      SCOPED_TRACE(expected.text[0] ? expected.text : std::to_string(expected.id));
      ASSERT_NE(control, nullptr) << "fewer controls than the layout";
      EXPECT_EQ(GetDlgCtrlID(control), expected.id);
      EXPECT_STRCASEEQ(class_of(control).c_str(), expected.window_class);
      EXPECT_EQ(window_text(control), expected.text);
      const DWORD styles = GetWindowLongW(control, GWL_STYLE);
      EXPECT_EQ(styles & expected.styles, expected.styles) << std::hex << styles;
      if (std::string(expected.window_class) == "Edit") {
        // The edit control shows its border as a sunken client edge.
        const bool border = (styles & WS_BORDER) != 0 ||
                            (GetWindowLongW(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0;
        EXPECT_TRUE(border);
        EXPECT_EQ(styles & ES_MULTILINE, 0u);
      }
      if (std::string(expected.window_class) == "Button") {
        EXPECT_EQ(styles & BS_TYPEMASK, expected.styles & BS_TYPEMASK);
      }
      expect_rect(placement_of(dialog, control), pixels_of(dialog, expected.units));
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
