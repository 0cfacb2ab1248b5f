// The host's main window: a top-level window whose menu bar holds the module's
// commands, one popup per parent group. Choosing a command runs it; a modal
// dialog the command opens is owned by this window, which can hand the
// dialog's idle turns to a dialog_script.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "quarlo/win32.h"
#include "quarlo_host/ui/command_menu.h"
#include "quarlo_host/ui/dialog_script.h"

namespace quarlo_host {

// Dispatches the messages waiting in this thread's queue; returns once it is
// empty, true when a WM_QUIT was among them (taken: a host's loop ends on it).
bool handle_waiting_messages();

class main_window final {
 public:
  // Creates the window, hidden, with a menu bar for popups (which must outlive
  // the window's use of them) and overview in a read-only text area filling
  // it. Throws std::runtime_error when Windows refuses.
  explicit main_window(std::vector<menu_popup> popups, const std::string& overview = {});
  main_window(const main_window&) = delete;
  main_window& operator=(const main_window&) = delete;
  ~main_window();

  HWND handle() const { return window_; }
  // The read-only text area under the menu.
  HWND overview_control() const { return overview_; }
  // The menu item identifier of a command, as WM_COMMAND carries it.
  static UINT command_id(size_t popup, size_t command);

  // Runs a menu command as choosing it does: run_command with an empty reference.
  // Exceptions from the module pass to the caller.
  void run(const menu_command& command);

  // Hands the idle turns of dialogs owned by this window to script (null: nobody).
  // A dialog still open when the script has run out is ended, and counted.
  void drive_dialogs(dialog_script* script) { script_ = script; }
  unsigned abandoned_dialogs() const { return abandoned_dialogs_; }

  // Shows the window, painted.
  void show();
  // Shows the window and dispatches messages until it is closed. An exception a
  // command threw inside the loop ends it and is thrown on from here.
  void show_and_wait();

 private:
  static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam);
  const menu_command* find_command(UINT id) const;

  std::vector<menu_popup> popups_;
  HWND window_ = nullptr;
  HWND overview_ = nullptr;
  dialog_script* script_ = nullptr;
  unsigned abandoned_dialogs_ = 0;
  bool waiting_ = false;
  std::exception_ptr failure_;
};

}  // namespace quarlo_host
