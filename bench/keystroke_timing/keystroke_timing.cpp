// What a keystroke costs in the module's lookup dialog when Input already holds
// a long text. Input is filled with N characters in one paste, then K more are
// typed one at a time. Each keystroke is timed from the dialog's idle turn
// before it to the idle turn after it: the edit control's work, the
// notifications, the procedure's handling and the painting. Two procedures run
// on the one loaded module, in turn for R rounds (the order alternating, so a
// change in the machine's load falls on both): the module's own, through its
// lookup command run from the host's main window, and one of this program's
// that ignores the edit notifications, on the same template 101 from the
// module's resources. Prints
//
//   keystroke abi=gnu procedure=module chars=30000 keys=300 rounds=3 median_us=... mean_us=...
//   keystroke abi=gnu procedure=ignoring chars=30000 keys=300 rounds=3 median_us=... mean_us=...
//   handling abi=gnu median_us=... mean_us=...
//   share abi=gnu median=0.0312 mean=0.0298 handling=0.0105
//
// The share is the module's part of a keystroke, (module - ignoring) / module,
// from the medians and from the means. Handling is the time the module's
// procedure spends on Input's change notification itself, measured around
// the call; it leaves out the painting of the GUID field that the procedure
// causes, and its share (of the module's keystroke median) is a lower bound.
// Exit status 1 when a dialog did not end as typed, 2 on a usage error.
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "quarlo/win32.h"
#include "quarlo_host/cli/lookup_command.h"
#include "quarlo_host/core/module_abi.h"
#include "quarlo_host/runtime/host_api_impl.h"
#include "quarlo_host/runtime/loaded_module.h"
#include "quarlo_host/runtime/service_registry.h"
#include "quarlo_host/runtime/utf.h"
#include "quarlo_host/ui/command_menu.h"
#include "quarlo_host/ui/dialog_script.h"
#include "quarlo_host/ui/main_window.h"
#include "typing_figures.h"

using namespace quarlo_host;

namespace {

const char usage[] =
    "usage: keystroke_timing MODULE.dll [--abi gnu|msvc] [--chars N] [--keys N] [--rounds N]\n"
    "  --chars N   characters in Input before the timed keystrokes (default 30000)\n"
    "  --keys N    keystrokes timed per dialog, one character each (default 300)\n"
    "  --rounds N  dialogs per procedure, taking turns (default 3)\n";

using clock = std::chrono::steady_clock;

constexpr unsigned lookup_template_id = 101;
constexpr WPARAM input_changed = MAKEWPARAM(lookup_input_id, EN_CHANGE);
constexpr char no_guid[] = "No GUID detected.";

struct options {
  std::string module;
  std::optional<module_abi> abi;
  long chars = 30000;
  long keys = 300;
  long rounds = 3;
};

bool parse_count(const char* text, long max, long& out) {
  char* end = nullptr;
  const long value = strtol(text, &end, 10);
  if (*end != '\0' || value < 1 || value > max) return false;
  out = value;
  return true;
}

bool parse_options(int argc, char** argv, options& out) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg[0] != '-') {
      if (!out.module.empty()) return false;
      out.module = arg;
      continue;
    }
    if (i + 1 == argc) return false;
    const char* value = argv[++i];
    module_abi abi = module_abi::gnu;
    bool valid = false;
    if (arg == "--abi") {
      valid = parse_abi(value, abi);
      out.abi = abi;
    } else if (arg == "--chars") {
      valid = parse_count(value, 1000000, out.chars);
    } else if (arg == "--keys") {
      valid = parse_count(value, 100000, out.keys);
    } else if (arg == "--rounds") {
      valid = parse_count(value, 1000, out.rounds);
    }
    if (!valid) return false;
  }
  return !out.module.empty();
}

double microseconds(clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

// Prose full of hex letters and hyphenated words, without a GUID, so the
// detector reads the whole of Input on every keystroke.
std::wstring prose(size_t length) {
  const std::wstring piece = L"The quick brown fox fed a bad-tempered cat 12 deaf beef cafes; ";
  std::wstring text;
  while (text.size() < length) text += piece;
  text.resize(length);
  return text;
}

// The times of one procedure, over every round.
struct typing_times {
  std::vector<double> keystroke_us;
  // The module's procedure only: its handling of Input's change while typing.
  std::vector<double> handling_us;
};

// How a dialog ended, for the checks.
struct dialog_end {
  size_t input_length = 0;
  std::string guid_field;
};

// The module's procedure while timing_procedure stands in for it, and where
// the handling times go (null: not typing yet, or no more).
DLGPROC module_procedure = nullptr;
std::vector<double>* handling_us = nullptr;

INT_PTR CALLBACK timing_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (handling_us == nullptr || message != WM_COMMAND || wparam != input_changed)
    return module_procedure(dialog, message, wparam, lparam);
  const clock::time_point start = clock::now();
  const INT_PTR result = module_procedure(dialog, message, wparam, lparam);
  handling_us->push_back(microseconds(clock::now() - start));
  return result;
}

// Raises Input's limit (Wine's edit control takes 30,000 characters by
// default), fills it, empties the GUID field so that only detection while
// typing can fill it again, types, reads the fields and closes the dialog.
// time_handling: the dialog's procedure is the module's, timed around each
// change of Input while typing.
dialog_script make_script(const options& opts, typing_times& times, dialog_end& end,
                          bool time_handling) {
  const std::wstring fill = prose(static_cast<size_t>(opts.chars));
  const std::wstring typed = prose(static_cast<size_t>(opts.keys));
  auto last = std::make_shared<clock::time_point>();
  dialog_script script;
  script.inspect([limit = fill.size() + typed.size(), time_handling](HWND dialog) {
    SendDlgItemMessageW(dialog, lookup_input_id, EM_SETLIMITTEXT, limit, 0);
    if (!time_handling) return;
    module_procedure = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(dialog, DWLP_DLGPROC));
    SetWindowLongPtrW(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(&timing_procedure));
  });
  script.paste(lookup_input_id, fill);
  script.inspect([last, &times, time_handling](HWND dialog) {
    SetDlgItemTextW(dialog, lookup_guid_id, L"");
    if (time_handling) handling_us = &times.handling_us;
    *last = clock::now();
  });
  script.type(lookup_input_id, typed, [last, &times](HWND) {
    const clock::time_point now = clock::now();
    times.keystroke_us.push_back(microseconds(now - *last));
    *last = now;
  });
  script.inspect([&end](HWND dialog) {
    handling_us = nullptr;
    end.input_length =
        static_cast<size_t>(GetWindowTextLengthW(GetDlgItem(dialog, lookup_input_id)));
    end.guid_field = control_text(dialog, lookup_guid_id);
  });
  script.click(lookup_close_id);
  return script;
}

// Closes on Close and the close box; every other message, the edit
// notifications among them, goes unhandled, as the module's procedure returns
// FALSE for what it does not handle.
INT_PTR CALLBACK ignoring_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_CLOSE || (message == WM_COMMAND && wparam == lookup_close_id)) {
    EndDialog(dialog, lookup_close_id);
    return TRUE;
  }
  return FALSE;
}

const menu_command* find_lookup(const std::vector<menu_popup>& popups) {
  for (const auto& popup : popups)
    for (const auto& command : popup.commands)
      if (quarlo::guid_equal(command.guid, lookup_command_guid)) return &command;
  return nullptr;
}

// True when the script ran to its end, with Input holding everything typed and
// the GUID field as the procedure leaves it.
bool check_dialog(const char* procedure, const dialog_script& script, const main_window& window,
                  const dialog_end& end, const options& opts, const std::string& guid_field) {
  const size_t expected_length = static_cast<size_t>(opts.chars + opts.keys);
  if (!script.finished() || window.abandoned_dialogs() != 0) {
    fprintf(stderr, "keystroke_timing: the %s dialog did not run the script to its end\n",
            procedure);
    return false;
  }
  if (end.input_length != expected_length) {
    fprintf(stderr, "keystroke_timing: the %s dialog's Input held %lu characters, not %lu\n",
            procedure, static_cast<unsigned long>(end.input_length),
            static_cast<unsigned long>(expected_length));
    return false;
  }
  if (end.guid_field != guid_field) {
    fprintf(stderr, "keystroke_timing: the %s dialog's GUID field showed \"%s\", not \"%s\"\n",
            procedure, end.guid_field.c_str(), guid_field.c_str());
    return false;
  }
  return true;
}

class typing_bench final {
 public:
  explicit typing_bench(const options& opts)
      : opts_(opts), window_(std::vector<menu_popup>{}), module_(load(opts, host_, window_)) {
    groups_ = find_command_groups(module_.client());
    popups_ = build_command_menu(groups_);
    command_ = find_lookup(popups_);
    if (command_ == nullptr) throw std::runtime_error(opts.module + " offers no lookup command");
  }

  const char* abi() const { return abi_name(module_.abi()); }

  // One dialog with the module's procedure, through its command.
  bool type_with_module(typing_times& times) {
    dialog_end end;
    dialog_script script = make_script(opts_, times, end, true);
    window_.drive_dialogs(&script);
    window_.run(*command_);
    window_.drive_dialogs(nullptr);
    return check_dialog("module's", script, window_, end, opts_, no_guid);
  }

  // One dialog on the module's template with the ignoring procedure.
  bool type_ignoring(typing_times& times) {
    dialog_end end;
    dialog_script script = make_script(opts_, times, end, false);
    window_.drive_dialogs(&script);
    DialogBoxParamW(module_.handle(), MAKEINTRESOURCEW(lookup_template_id), window_.handle(),
                    ignoring_procedure, 0);
    window_.drive_dialogs(nullptr);
    return check_dialog("ignoring", script, window_, end, opts_, "");
  }

 private:
  static loaded_module load(const options& opts, host_api_impl& host, main_window& window) {
    host.set_main_window(window.handle());
    return loaded_module(opts.module, host, false, opts.abi);
  }

  const options& opts_;
  service_registry registry_;
  host_api_impl host_{registry_};
  main_window window_;
  loaded_module module_;
  std::vector<service_ref> groups_;
  std::vector<menu_popup> popups_;
  const menu_command* command_ = nullptr;
};

typing_figures report(const char* abi, const char* procedure, const options& opts,
                      const typing_times& times) {
  const typing_figures figures = figures_of(times.keystroke_us);
  printf(
      "keystroke abi=%s procedure=%s chars=%ld keys=%ld rounds=%ld median_us=%.1f mean_us=%.1f\n",
      abi, procedure, opts.chars, opts.keys, opts.rounds, figures.median_us, figures.mean_us);
  return figures;
}

int run(const options& opts) {
  typing_bench bench(opts);
  typing_times module_times;
  typing_times ignoring_times;
  for (long round = 0; round < opts.rounds; ++round) {
    const bool module_first = round % 2 == 0;
    if (module_first && !bench.type_with_module(module_times)) return 1;
    if (!bench.type_ignoring(ignoring_times)) return 1;
    if (!module_first && !bench.type_with_module(module_times)) return 1;
  }
  const typing_figures m = report(bench.abi(), "module", opts, module_times);
  const typing_figures i = report(bench.abi(), "ignoring", opts, ignoring_times);
  const typing_figures h = figures_of(module_times.handling_us);
  printf("handling abi=%s median_us=%.1f mean_us=%.1f\n", bench.abi(), h.median_us, h.mean_us);
  printf("share abi=%s median=%.4f mean=%.4f handling=%.4f\n", bench.abi(),
         (m.median_us - i.median_us) / m.median_us, (m.mean_us - i.mean_us) / m.mean_us,
         h.median_us / m.median_us);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  options opts;
  if (!parse_options(argc, argv, opts)) {
    fputs(usage, stderr);
    return 2;
  }
  try {
    return run(opts);
  } catch (const std::exception& e) {
    fprintf(stderr, "keystroke_timing: %s\n", e.what());
    return 1;
  }
}
