#include "quarlo_host/ui/main_window.h"

#include <stdexcept>
#include <string>
#include <utility>

#include "quarlo_host/runtime/utf.h"

namespace quarlo_host {
namespace {

constexpr wchar_t class_name[] = L"quarlo_host_main";
constexpr UINT first_command_id = 0x100;
// Commands per popup an identifier can address.
constexpr UINT commands_per_popup = 0x100;

void register_class_once(HINSTANCE instance, WNDPROC proc) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(instance, class_name, &existing)) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
  wc.lpszClassName = class_name;
  if (RegisterClassExW(&wc) == 0) throw std::runtime_error("cannot register the main window class");
}

HMENU make_menu_bar(const std::vector<menu_popup>& popups) {
  HMENU bar = CreateMenu();
  for (size_t p = 0; p < popups.size(); ++p) {
    HMENU popup = CreatePopupMenu();
    for (size_t c = 0; c < popups[p].commands.size(); ++c) {
      const menu_command& command = popups[p].commands[c];
      UINT flags = MF_STRING;
      if (command.flags & command_flag_disabled) flags |= MF_GRAYED;
      if (command.flags & command_flag_checked) flags |= MF_CHECKED;
      AppendMenuW(popup, flags, main_window::command_id(p, c), to_wide(command.text).c_str());
    }
    AppendMenuW(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup),
                to_wide(popups[p].label).c_str());
  }
  return bar;
}

}  // namespace

main_window::main_window(std::vector<menu_popup> popups, const std::string& overview)
    : popups_(std::move(popups)) {
  if (popups_.size() * commands_per_popup + first_command_id > 0xFFFF)
    throw std::runtime_error("too many menu groups");
  for (const auto& p : popups_)
    if (p.commands.size() > commands_per_popup)
      throw std::runtime_error("too many commands in menu group " + p.label);
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  register_class_once(instance, window_proc);
  HMENU menu = make_menu_bar(popups_);
  window_ = CreateWindowExW(0, class_name, L"quarlo host", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                            CW_USEDEFAULT, 720, 480, nullptr, menu, instance, this);
  if (window_ == nullptr) {
    DestroyMenu(menu);
    throw std::runtime_error("cannot create the main window");
  }
  RECT client{};
  GetClientRect(window_, &client);
  overview_ = CreateWindowExW(
      0, L"EDIT", to_wide(overview).c_str(),
      WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0,
      client.right, client.bottom, window_, nullptr, instance, nullptr);
  if (overview_ == nullptr) throw std::runtime_error("cannot create the main window's text area");
  SendMessageW(overview_, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
               FALSE);
  // A tab stop past the widest GUID, so names line up.
  const int tab_stop = 160;
  SendMessageW(overview_, EM_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&tab_stop));
}

main_window::~main_window() {
  if (window_ != nullptr) DestroyWindow(window_);
}

bool handle_waiting_messages() {
  MSG msg;
  bool quit = false;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      quit = true;
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return quit;
}

UINT main_window::command_id(size_t popup, size_t command) {
  return first_command_id + static_cast<UINT>(popup) * commands_per_popup +
         static_cast<UINT>(command);
}

const menu_command* main_window::find_command(UINT id) const {
  if (id < first_command_id) return nullptr;
  const size_t p = (id - first_command_id) / commands_per_popup;
  const size_t c = (id - first_command_id) % commands_per_popup;
  if (p >= popups_.size() || c >= popups_[p].commands.size()) return nullptr;
  return &popups_[p].commands[c];
}

void main_window::run(const menu_command& command) {
  command.group->run_command(command.index, service_ref{});
}

void main_window::show() {
  ShowWindow(window_, SW_SHOWNORMAL);
  UpdateWindow(window_);
}

void main_window::show_and_wait() {
  show();
  waiting_ = true;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    if (failure_) break;
  }
  waiting_ = false;
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

LRESULT CALLBACK main_window::window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* creator = static_cast<main_window*>(create->lpCreateParams);
    creator->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creator));
  }
  auto* self = reinterpret_cast<main_window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->window_ = nullptr;
    return DefWindowProcW(window, message, wparam, lparam);
  }
  return self->handle_message(message, wparam, lparam);
}

LRESULT main_window::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wparam) == 0 && lparam == 0) {
        if (const menu_command* command = find_command(LOWORD(wparam))) {
          // No exception may unwind through the window system's frames: keep it
          // for the message loop to throw on.
          try {
            run(*command);
          } catch (...) {
            failure_ = std::current_exception();
          }
          return 0;
        }
      }
      break;
    case WM_ENTERIDLE:
      if (wparam == MSGF_DIALOGBOX && script_ != nullptr) {
        const auto dialog = reinterpret_cast<HWND>(lparam);
        if (!script_->on_idle(dialog)) {
          ++abandoned_dialogs_;
          EndDialog(dialog, IDABORT);
        }
        return 0;
      }
      break;
    case WM_SIZE:
      if (overview_ != nullptr) MoveWindow(overview_, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
      return 0;
    case WM_DESTROY:
      if (waiting_) PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

}  // namespace quarlo_host
