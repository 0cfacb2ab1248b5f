// process: the state of the host's process that every call into the module
// (its loading, its entry, its command groups, each command run, its unload)
// must leave as it found it. Each case judges its part of the state; a change
// names the call that made it, with the value before and after.
#include <string>
#include <vector>

#include "quarlo_host/checker/check_areas.h"
#include "quarlo_host/checker/command_runs.h"
#include "quarlo_host/checker/process_state.h"

namespace quarlo_host {

namespace {

check_result unchanged(const check_context& context, const std::vector<std::string>& aspects) {
  const commands_report report = run_commands(context, {});
  if (const state_change* change = first_change(report.state_changes, aspects)) {
    return failed(describe(*change));
  }
  return passed(std::to_string(report.runs.size()) + " run(s), and the loading and unload");
}

template <const char*... aspects>
check_result check_unchanged(const check_context& context) {
  return unchanged(context, {aspects...});
}

}  // namespace

std::vector<check_case> process_cases() {
  namespace a = process_aspect;
  return {
      {"process.current_directory", "every call leaves the process's current directory as it was",
       "the host opens files by relative paths, and so do the other modules",
       check_unchanged<a::current_directory>},
      {"process.locale",
       "every call leaves the C locale of each C runtime and the thread locale as they were",
       "the locale decides how the host reads and writes numbers and compares text: a changed one "
       "turns 0.5 into 0,5 in its files",
       check_unchanged<a::c_locale, a::thread_locale>},
      {"process.floating_point", "every call leaves the x87 control word and MXCSR as they were",
       "precision, rounding, flush-to-zero and denormals-are-zero change every computation of the "
       "host after the call",
       check_unchanged<a::x87_control, a::mxcsr>},
      {"process.exception_filter", "every call leaves the unhandled-exception filter as it was",
       "the host's filter writes its crash reports; one of the module's runs in unmapped code "
       "once it unloads",
       check_unchanged<a::exception_filter>},
      {"process.error_mode", "every call leaves the process's error mode as it was",
       "the error mode decides whether the system shows its dialogs for the host's errors",
       check_unchanged<a::error_mode>},
      {"process.main_window",
       "every call leaves the main window's procedure and user data as they were",
       "a subclass left behind runs in unmapped code at the main window's next message once the "
       "module unloads; the user data is the host's",
       check_unchanged<a::window_procedure, a::window_user_data>},
  };
}

}  // namespace quarlo_host
