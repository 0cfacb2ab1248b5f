#include "quarlo_host/checker/window_user.h"

#include <chrono>
#include <stdexcept>
#include <utility>

#include "quarlo_host/runtime/win32_windows.h"
#include "quarlo_host/runtime/window_watch.h"
#include "quarlo_host/ui/main_window.h"

namespace quarlo_host {

namespace {

constexpr wchar_t agent_class[] = L"quarlo_host_check_user";
// Posted to the agent: a marker (wparam its number), and a window to end by force (lparam).
constexpr UINT marker_message = WM_APP + 1;
constexpr UINT force_end_message = WM_APP + 2;
// Longer texts are pasted rather than typed a character at a time.
constexpr size_t longest_typed = 200;
// How deep windows opened from windows are worked.
constexpr int deepest = 4;
constexpr DWORD poll_ms = 10;

bool usable(HWND control) { return IsWindowVisible(control) && IsWindowEnabled(control); }

bool is_edit(HWND control) {
  return lstrcmpiW(class_name(control).c_str(), L"Edit") == 0 && usable(control) &&
         (GetWindowLongPtrW(control, GWL_STYLE) & ES_READONLY) == 0;
}

bool is_push_button(HWND control) {
  const LONG_PTR type = GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK;
  const int id = GetDlgCtrlID(control);
  return lstrcmpiW(class_name(control).c_str(), L"Button") == 0 && usable(control) &&
         (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) && id != IDOK && id != IDCANCEL;
}

template <class Keep>
std::vector<HWND> controls(HWND window, Keep keep) {
  std::vector<HWND> kept;
  for (HWND h : descendants(window)) {
    if (keep(h)) kept.push_back(h);
  }
  return kept;
}

bool owned_by(HWND window, HWND main) {
  HWND owner = GetWindow(window, GW_OWNER);
  for (int depth = 0; owner != nullptr && depth < 32; ++depth) {
    if (owner == main) return true;
    owner = GetWindow(owner, GW_OWNER);
  }
  return false;
}

bool ended(HWND window) { return !IsWindow(window) || !IsWindowVisible(window); }

void register_agent_class(WNDPROC proc) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, agent_class, &existing)) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.lpszClassName = agent_class;
  if (RegisterClassExW(&wc) == 0) throw std::runtime_error("cannot register the user's class");
}

}  // namespace

const char* window_end_name(window_end end) {
  switch (end) {
    case window_end::open:
      return "left open";
    case window_end::by_itself:
      return "closed by itself";
    case window_end::button:
      return "ended by a button";
    case window_end::escape:
      return "ended by Escape";
    case window_end::close_box:
      return "ended by the close box";
    case window_end::forced:
      return "ended by force";
    case window_end::not_ended:
      return "not ended even by force";
  }
  return "?";
}

window_user::window_user(HWND main, std::vector<std::vector<std::wstring>> rounds,
                         user_limits limits, std::function<void()> on_first_window)
    : main_(main),
      rounds_(std::move(rounds)),
      limits_(limits),
      on_first_window_(std::move(on_first_window)),
      command_thread_(GetCurrentThreadId()) {
  register_agent_class(agent_proc);
  agent_ = CreateWindowExW(0, agent_class, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  if (agent_ == nullptr) throw std::runtime_error("cannot create the user's window");
  SetWindowLongPtrW(agent_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  answered_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  finished_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

window_user::~window_user() {
  if (thread_.joinable()) end_run();
  DestroyWindow(agent_);
  CloseHandle(answered_);
  CloseHandle(finished_);
}

LRESULT CALLBACK window_user::agent_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<window_user*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr && message == marker_message) {
    self->answered_in_run_ = self->in_run_.load();
    self->answered_mark_ = static_cast<uint32_t>(wparam);
    SetEvent(self->answered_);
    return 0;
  }
  if (self != nullptr && message == force_end_message) {
    const auto target = reinterpret_cast<HWND>(lparam);
    if (is_dialog(target)) {
      EndDialog(target, IDCANCEL);
    } else {
      DestroyWindow(target);
    }
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void window_user::begin_run() {
  worked_.clear();
  known_.clear();
  // Windows open before the run (left open by an earlier one) are not its own.
  for (HWND window : top_level_windows(command_thread_)) known_.insert(window);
  gave_up_ = false;
  took_quit_ = false;
  armed_ = false;
  stop_ = false;
  in_run_ = true;
  ResetEvent(finished_);
  thread_ = std::thread([this] {
    try {
      work();
    } catch (...) {
      gave_up_ = true;
    }
    SetEvent(finished_);
  });
}

std::vector<worked_window> window_user::end_run() {
  in_run_ = false;
  stop_ = true;
  // The user may be waiting for a marker that only this thread can answer.
  for (;;) {
    if (handle_waiting_messages()) took_quit_ = true;
    if (WaitForSingleObject(finished_, 0) == WAIT_OBJECT_0) break;
    MsgWaitForMultipleObjects(1, &finished_, FALSE, poll_ms, QS_ALLINPUT);
  }
  thread_.join();
  return std::move(worked_);
}

void window_user::work() {
  while (!stop_ && !gave_up_) {
    const HWND window = next_window();
    if (window == nullptr) {
      Sleep(poll_ms);
      continue;
    }
    if (!sync()) return;
    // Shown after the command returned: left open on purpose, not the user's to work.
    if (!answered_in_run_) continue;
    work_window(window, 0);
  }
}

// The first window of the command's thread in z-order that is shown, takes
// input, and is new to the user.
HWND window_user::next_window() {
  for (HWND window : top_level_windows(command_thread_)) {
    if (window == main_ || window == agent_ || !usable(window) || known_.count(window) != 0) {
      continue;
    }
    known_.insert(window);
    return window;
  }
  return nullptr;
}

void window_user::work_window(HWND window, int depth) {
  const size_t at = worked_.size();
  worked_.push_back(
      {window, window_watch::describe(window), owned_by(window, main_), window_end::open, 0});
  if (!armed_ && on_first_window_) {
    armed_ = true;
    on_first_window_();
  }
  for (const auto& texts : rounds_) {
    for (const std::wstring& text : texts) {
      for (HWND edit : controls(window, is_edit)) {
        if (!IsWindow(edit)) continue;
        put_text(edit, text);
        const bool answered = settle(window, depth);
        if (ended(window)) {
          worked_[at].end = window_end::by_itself;
          return;
        }
        if (!answered) return;
      }
    }
    for (HWND button : controls(window, is_push_button)) {
      if (!IsWindow(button)) continue;
      const int id = GetDlgCtrlID(button);
      PostMessageW(button, BM_CLICK, 0, 0);
      const bool answered = settle(window, depth);
      if (ended(window)) {
        worked_[at].end = window_end::button;
        worked_[at].button = id;
        return;
      }
      if (!answered) return;
    }
  }
  // Escape goes where the keyboard's focus is, as the dialog manager expects it.
  GUITHREADINFO focus{};
  focus.cbSize = sizeof focus;
  HWND target = window;
  if (GetGUIThreadInfo(command_thread_, &focus) && focus.hwndFocus != nullptr &&
      (focus.hwndFocus == window || IsChild(window, focus.hwndFocus))) {
    target = focus.hwndFocus;
  }
  PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, key_lparam(VK_ESCAPE, false));
  PostMessageW(target, WM_KEYUP, VK_ESCAPE, key_lparam(VK_ESCAPE, true));
  if (wait_for_end(window, depth, limits_.close_ms)) {
    worked_[at].end = window_end::escape;
    return;
  }
  if (gave_up_ || !answered_in_run_) return;
  PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  if (wait_for_end(window, depth, limits_.close_ms)) {
    worked_[at].end = window_end::close_box;
    return;
  }
  if (gave_up_ || !answered_in_run_) return;
  PostMessageW(agent_, force_end_message, 0, reinterpret_cast<LPARAM>(window));
  worked_[at].end =
      wait_for_end(window, depth, limits_.close_ms) ? window_end::forced : window_end::not_ended;
  if (worked_[at].end == window_end::not_ended) gave_up_ = true;
}

// Waits until the command's thread has handled the input, then works any
// window that input opened before going on with this one. False once the
// command has returned or its thread stopped answering.
bool window_user::settle(HWND window, int depth) {
  if (!sync() || !answered_in_run_) return false;
  while (depth < deepest) {
    const HWND opened = next_window();
    if (opened == nullptr || opened == window) return true;
    work_window(opened, depth + 1);
    if (gave_up_ || !sync() || !answered_in_run_) return false;
  }
  return true;
}

bool window_user::wait_for_end(HWND window, int depth, unsigned limit_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  for (;;) {
    const bool answered = settle(window, depth);
    if (ended(window)) return true;
    if (!answered || std::chrono::steady_clock::now() > deadline) return false;
    Sleep(poll_ms);
  }
}

bool window_user::sync() {
  const uint32_t mark = ++mark_;
  PostMessageW(agent_, marker_message, mark, 0);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(limits_.answer_ms);
  while (answered_mark_ != mark) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
      gave_up_ = true;
      return false;
    }
    WaitForSingleObject(answered_, static_cast<DWORD>(left));
  }
  return true;
}

void window_user::put_text(HWND edit, const std::wstring& text) {
  if (text.size() > longest_typed) {
    // Pasting: the whole text replaces the selection at once. Sent, so the
    // two steps keep their order; sent messages go before posted ones.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(edit, EM_SETSEL, 0, -1, SMTO_NORMAL, limits_.answer_ms, &ignored);
    SendMessageTimeoutW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()),
                        SMTO_NORMAL, limits_.answer_ms, &ignored);
    return;
  }
  PostMessageW(edit, EM_SETSEL, 0, -1);
  if (text.empty()) {
    PostMessageW(edit, WM_CHAR, VK_BACK, 1);
    return;
  }
  for (wchar_t unit : text) PostMessageW(edit, WM_CHAR, unit, 1);
}

}  // namespace quarlo_host
