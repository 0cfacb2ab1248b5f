// A user at the windows a command opens. While the thread that owns the
// host's main window runs a command, a thread of the user's own finds each
// window the command shows and works it as a person would: in rounds, it puts
// texts into every edit control as typing and pasting do (so the control's
// change notification reaches the module) and then presses every push button
// but those with the ids IDOK and IDCANCEL; then it ends the window with
// Escape and, if that leaves it open, with the close box; a window that neither ends is ended by
// force and reported.
//
// Input is posted, as the system posts what a user types, so the module's
// own message loop handles it and no frame of the checker lies between the
// window system and the module. After each step the user waits until that
// loop has handled everything posted before it: a marker posted behind the
// input to a window of the user's on the command's thread comes back.
#pragma once

#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "quarlo/win32.h"

namespace quarlo_host {

// How a window the command opened came to its end.
enum class window_end {
  // Still open when the command returned.
  open,
  // It closed on its own while texts were put in.
  by_itself,
  // A push button ended it (its id is kept).
  button,
  escape,
  close_box,
  // Neither Escape nor the close box ended it: the user ended it by force.
  forced,
  // Not even by force.
  not_ended,
};

const char* window_end_name(window_end end);

struct worked_window {
  HWND window = nullptr;
  // Its class and caption, for reports.
  std::string description;
  // Its owner, or its owner's owner, and so on, is the host's main window.
  bool owned_by_main = false;
  window_end end = window_end::open;
  int button = 0;
};

struct user_limits {
  // How long a window may take to close after Escape, and after the close box.
  unsigned close_ms = 1000;
  // How long the command's thread may leave the user's input unhandled
  // before the user takes it for hung and stops.
  unsigned answer_ms = 10000;
};

class window_user final {
 public:
  // main is the host's main window, owned by the calling thread, which is the
  // thread that runs the commands. on_first_window runs on the user's thread
  // when it starts on the first window of a run.
  // Each round's texts go into the edit controls before the buttons are pressed.
  window_user(HWND main, std::vector<std::vector<std::wstring>> rounds, user_limits limits,
              std::function<void()> on_first_window = nullptr);
  window_user(const window_user&) = delete;
  window_user& operator=(const window_user&) = delete;
  ~window_user();

  // Call just before the command runs, on the command's thread.
  void begin_run();
  // Call once the command has returned: stops the user, handling this
  // thread's messages meanwhile, and gives the windows the run opened.
  std::vector<worked_window> end_run();
  // A WM_QUIT was among the messages end_run handled.
  bool took_quit() const { return took_quit_; }

 private:
  static LRESULT CALLBACK agent_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void work();
  HWND next_window();
  void work_window(HWND window, int depth);
  bool settle(HWND window, int depth);
  bool wait_for_end(HWND window, int depth, unsigned limit_ms);
  bool sync();
  void put_text(HWND edit, const std::wstring& text);

  HWND main_;
  std::vector<std::vector<std::wstring>> rounds_;
  user_limits limits_;
  std::function<void()> on_first_window_;
  DWORD command_thread_;
  // A message-only window on the command's thread that answers the markers
  // and ends windows by force there.
  HWND agent_ = nullptr;
  HANDLE answered_ = nullptr;
  HANDLE finished_ = nullptr;
  std::thread thread_;
  std::atomic<bool> in_run_{false};
  std::atomic<bool> stop_{false};
  std::atomic<uint32_t> answered_mark_{0};
  std::atomic<bool> answered_in_run_{false};
  // The user's own thread only, between begin_run and end_run.
  uint32_t mark_ = 0;
  bool gave_up_ = false;
  bool took_quit_ = false;
  bool armed_ = false;
  std::set<HWND> known_;
  std::vector<worked_window> worked_;
};

}  // namespace quarlo_host
