// run: every command run as a user runs it, its windows worked and closed.
#include <string>

#include "quarlo_host/checker/check_areas.h"
#include "quarlo_host/checker/command_runs.h"

namespace quarlo_host {

namespace {

std::string counted(size_t n, const char* what) { return std::to_string(n) + " " + what; }

std::string thrown_text(const command_run& run) {
  return run.exception + (run.exception_message.empty() ? "" : ": " + run.exception_message);
}

// What a run opened and how each window ended, and what came out of it.
std::string run_shape(const command_run& run) {
  std::string shape;
  for (const auto& w : run.windows) {
    shape += w.description + " " + window_end_name(w.end);
    if (w.end == window_end::button) shape += " " + std::to_string(w.button);
    shape += ", ";
  }
  if (run.windows.empty()) shape = "no window, ";
  return shape + (run.thrown == thrown_kind::none ? "returned" : thrown_text(run));
}

// Each run's name and shape, for the details of a case that passed.
std::string shapes(const commands_report& report) {
  std::string text;
  for (const command_run& run : report.runs) {
    text += (text.empty() ? "" : "; ") + run.name() + ": " + run_shape(run);
  }
  return text;
}

// Runs every command under plan; judge sees each run, and the first that
// fails ends the case, named after its command.
template <typename Judge>
check_result each_run(const check_context& context, const run_plan& plan, Judge judge) {
  const commands_report report = run_commands(context, plan);
  if (report.no_groups) return skipped("no mainmenu_commands group");
  for (const command_run& run : report.runs) {
    check_result r = judge(run);
    if (r.status != check_status::passed) {
      r.details = run.name() + ": " + r.details;
      return r;
    }
  }
  return passed(shapes(report));
}

// Runs every command under plan, then judge_report sees every run and what
// the unload left.
template <typename Judge>
check_result whole_report(const check_context& context, const run_plan& plan, Judge judge_report) {
  const commands_report report = run_commands(context, plan);
  if (report.no_groups) return skipped("no mainmenu_commands group");
  check_result r = judge_report(report);
  if (r.status == check_status::passed) r.details = shapes(report);
  return r;
}

// No block handed out during the runs alive once the module unloaded.
check_result blocks_left(const commands_report& report) {
  if (report.blocks_left == 0) return passed();
  return expected_got("no block of the runs alive once the module unloaded",
                      counted(report.blocks_left, "block(s)"));
}

check_result check_commands_return(const check_context& context) {
  return each_run(context, {}, [](const command_run& run) {
    if (run.thrown == thrown_kind::none) return passed();
    return expected_got("run_command to return", thrown_text(run));
  });
}

check_result check_owned(const check_context& context) {
  return each_run(context, {}, [](const command_run& run) {
    for (const auto& w : run.windows) {
      if (!w.owned_by_main) {
        return expected_got("every window it opens owned by the host's main window",
                            w.description + " owned by another window or by none");
      }
    }
    return passed();
  });
}

check_result check_owner_enabled(const check_context& context) {
  return each_run(context, {}, [](const command_run& run) {
    if (run.owner_enabled) return passed();
    return expected_got("the main window enabled once the command returned", "a disabled one");
  });
}

check_result check_closes(const check_context& context) {
  return each_run(context, {}, [](const command_run& run) {
    for (const auto& w : run.windows) {
      if (w.end == window_end::forced || w.end == window_end::not_ended) {
        return expected_got("Escape or the close box to end " + w.description,
                            std::string("neither did; ") + window_end_name(w.end));
      }
    }
    return passed();
  });
}

check_result check_windows_gone(const check_context& context) {
  return whole_report(context, {}, [](const commands_report& report) {
    for (const command_run& run : report.runs) {
      if (!run.windows_left.empty()) {
        return expected_got(run.name() + ": no window of the module's once it returned",
                            run.windows_left.front());
      }
    }
    if (!report.windows_after_unload.empty()) {
      return expected_got("no window of the module's once it unloaded",
                          report.windows_after_unload.front());
    }
    return passed();
  });
}

check_result check_classes_unregistered(const check_context& context) {
  return whole_report(context, {}, [](const commands_report& report) {
    if (report.classes_after_unload.empty()) return passed();
    return expected_got("every window class it registered gone once it unloaded",
                        "class " + report.classes_after_unload.front() + " still registered");
  });
}

check_result check_callback_released(const check_context& context) {
  return each_run(context, {}, [](const command_run& run) {
    if (run.callback_kept == 0) return passed();
    return expected_got("the callback released exactly once",
                        run.callback_kept > 0
                            ? counted(run.callback_kept, "reference(s) kept")
                            : "released " + counted(-run.callback_kept, "time(s) too often"));
  });
}

// The named services a run took back as often as it took them.
check_result services_balanced(const command_run& run) {
  if (run.services_unbalanced.empty()) return passed();
  return expected_got("every reference to the host's named services released exactly once",
                      run.services_unbalanced.front());
}

check_result check_services_released(const check_context& context) {
  return each_run(context, {}, services_balanced);
}

check_result check_no_quit(const check_context& context) {
  return each_run(context, {}, [](const command_run& run) {
    if (!run.posted_quit) return passed();
    return expected_got("the host's message loop left running", "a WM_QUIT on the host's thread");
  });
}

check_result check_nothing_left(const check_context& context) {
  return whole_report(context, {}, [](const commands_report& report) {
    for (const command_run& run : report.runs) {
      if (!run.left_running.empty()) {
        return expected_got(run.name() + ": nothing of the module's still set once it returned",
                            run.left_running.front());
      }
    }
    if (report.left_at_unload.empty()) return passed();
    return expected_got("nothing of the module's still set once it unloaded",
                        report.left_at_unload.front());
  });
}

check_result check_no_leak(const check_context& context) {
  return whole_report(context, {}, blocks_left);
}

check_result check_second_run(const check_context& context) {
  return whole_report(context, {2, host_failure::none}, [](const commands_report& report) {
    for (size_t i = 0; i + 1 < report.runs.size(); i += 2) {
      const std::string first = run_shape(report.runs[i]);
      const std::string second = run_shape(report.runs[i + 1]);
      if (first != second) {
        return expected_got(report.runs[i].name() + " run a second time as the first: " + first,
                            second);
      }
    }
    return passed();
  });
}

// With the host failing while the command's window is open: the failure
// handled, or out of run_command as thrown; no window of the run left; every
// named service taken released; no leak.
check_result check_host_failure(const check_context& context, host_failure failure) {
  const bool bad_alloc = failure == host_failure::bad_alloc;
  return whole_report(context, {1, failure}, [bad_alloc](const commands_report& report) {
    for (const command_run& run : report.runs) {
      const bool intact = run.thrown == thrown_kind::none ||
                          (bad_alloc ? run.thrown == thrown_kind::bad_alloc
                                     : run.thrown == thrown_kind::exception_io &&
                                           run.exception_message == host_failure_message);
      if (!intact) {
        return expected_got(
            run.name() + ": the host's " +
                (bad_alloc ? std::string("std::bad_alloc")
                           : std::string("quarlo_io::exception_io: ") + host_failure_message) +
                " handled or let out",
            thrown_text(run));
      }
      if (!run.worked_alive.empty()) {
        return expected_got(run.name() + ": its windows closed once it returned",
                            run.worked_alive.front() + " still open");
      }
      const check_result balanced = services_balanced(run);
      if (balanced.status != check_status::passed) {
        return failed(run.name() + ": " + balanced.details);
      }
    }
    return blocks_left(report);
  });
}

check_result check_host_bad_alloc(const check_context& context) {
  return check_host_failure(context, host_failure::bad_alloc);
}

check_result check_host_exception_io(const check_context& context) {
  return check_host_failure(context, host_failure::exception_io);
}

}  // namespace

std::vector<check_case> run_cases() {
  return {
      {"run.commands_return", "every command runs and returns without an exception",
       "a command that crashes or throws when picked is the first fault a user meets",
       check_commands_return},
      {"run.owned_by_main", "every window a command opens is owned by the host's main window",
       "an unowned dialog floats free of the host, which stays clickable under it", check_owned},
      {"run.owner_enabled", "the main window is enabled once a command returns",
       "a host left disabled takes no more input", check_owner_enabled},
      {"run.closes", "Escape or the close box ends every window a command opens",
       "a dialog the user cannot close hangs the host", check_closes},
      {"run.windows_gone",
       "no window of the module's outlives its command, or its unload when left open on purpose",
       "a window that outlives the module's unload jumps into unmapped code at its next message",
       check_windows_gone},
      {"run.classes_unregistered", "every window class the module registers is gone at unload",
       "a class left behind points into unmapped code and blocks the next load from registering it",
       check_classes_unregistered},
      {"run.callback_released", "a real run releases its callback exactly once",
       "a kept or doubly released callback leaks or frees the host's object",
       check_callback_released},
      {"run.services_released",
       "a run releases every reference it takes to the host's named services",
       "a kept reference keeps the host's service alive past its end; one released too often "
       "frees it under the host",
       check_services_released},
      {"run.no_quit", "no command posts WM_QUIT to the host's thread",
       "WM_QUIT ends the host's message loop: the host quits under its user", check_no_quit},
      {"run.nothing_left",
       "no thread, thread timer, hook or vectored handler of the module's is still set once its "
       "command returns or it unloads",
       "what a module leaves set runs its code later, in unmapped code once it unloaded: the host "
       "crashes far from the cause",
       check_nothing_left},
      {"run.no_leak", "running every command and unloading leaves no block of the runs alive",
       "users run commands again and again in one session", check_no_leak},
      {"run.second_run", "a second run of a command opens and closes the same windows",
       "users run a command more than once", check_second_run},
      {"run.host_bad_alloc",
       "std::bad_alloc from the host while a window is open is handled or comes out intact",
       "a host short of memory must keep its process, its windows, its objects and its heap",
       check_host_bad_alloc},
      {"run.host_exception_io",
       "the host's exception_io while a window is open is handled or comes out intact",
       "a host whose service fails must keep its process, its windows, its objects and its heap",
       check_host_exception_io},
  };
}

}  // namespace quarlo_host
