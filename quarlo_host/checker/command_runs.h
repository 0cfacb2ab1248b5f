// Runs every command of every command group the module offers, as the host
// does when a user picks it: on the thread that owns the host's main window
// (a real top-level window, shown, its messages handled, which host_api's
// main_window returns), with a counted callback and the sample named services
// registered, while a window_user works the windows the command opens. Then
// it unloads the module with the main window still open, and records what each
// run and the unload left behind, and what every call into the module changed
// of the process's state. After the unload it handles the host's messages for
// a moment, so that anything of the module's left set fires within the case.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quarlo_host/checker/check_case.h"
#include "quarlo_host/checker/check_host.h"
#include "quarlo_host/checker/state_log.h"
#include "quarlo_host/checker/window_user.h"

namespace quarlo_host {

// What came out of run_command.
enum class thrown_kind { none, bad_alloc, exception_io, other };

struct command_run {
  size_t group = 0;
  uint32_t index = 0;
  // 0 for the first run of the command, 1 for the second.
  uint32_t repetition = 0;
  std::vector<worked_window> windows;
  thrown_kind thrown = thrown_kind::none;
  // The exception's type and message, when one came out.
  std::string exception;
  std::string exception_message;
  bool owner_enabled = true;
  // References the run took on its callback and kept (negative: released too often).
  int32_t callback_kept = 0;
  // Windows of the module's alive once the command returned, but those left
  // open on purpose (shown, top-level, owned by the main window).
  std::vector<std::string> windows_left;
  // Windows the user worked that were still there once the command returned.
  std::vector<std::string> worked_alive;
  // A WM_QUIT reached the host's thread: its message loop would have ended.
  bool posted_quit = false;
  // The host's named services whose references the run did not balance,
  // each with what it kept or released too often.
  std::vector<std::string> services_unbalanced;
  // Threads, timers, hooks and handlers of the module's still set once it returned.
  std::vector<std::string> left_running;

  // "group G command I (first|second run)", for details.
  std::string name() const;
};

struct commands_report {
  // The module offers no command group.
  bool no_groups = false;
  std::vector<command_run> runs;
  // Windows of the module's still alive after it unloaded.
  std::vector<std::string> windows_after_unload;
  // Classes the module registered, still registered after it unloaded with
  // no window of theirs alive.
  std::vector<std::string> classes_after_unload;
  // Threads of the module's still running once its objects were released,
  // and timers, hooks and handlers still set after it unloaded.
  std::vector<std::string> left_at_unload;
  // Blocks of the module's heap handed out during the runs and still alive
  // after it unloaded.
  uint32_t blocks_left = 0;
  // What the loading, the entry, the runs and the unload changed of the
  // process's state, each with its call.
  std::vector<state_change> state_changes;
};

struct run_plan {
  uint32_t runs_per_command = 1;
  // Armed as the user starts on a run's first window, disarmed when it returns.
  host_failure failure = host_failure::none;
};

// The texts the user puts into edit controls, from the seed, in two rounds
// (the buttons are pressed after each): plain words, multi-byte UTF-8, an
// empty text, a text of 30,000 characters and a registered GUID in its
// canonical and its braced form; then a GUID no registered service carries,
// in lower case and braced in upper case.
std::vector<std::vector<std::wstring>> user_texts(uint32_t seed,
                                                  const std::vector<GUID>& registered);

commands_report run_commands(const check_context& context, const run_plan& plan);

}  // namespace quarlo_host
