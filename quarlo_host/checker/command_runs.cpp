#include "quarlo_host/checker/command_runs.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>
#include <new>
#include <random>

#include "quarlo/exception_io.h"
#include "quarlo/module_entry.h"
#include "quarlo_host/checker/case_runner.h"
#include "quarlo_host/checker/check_session.h"
#include "quarlo_host/checker/process_state.h"
#include "quarlo_host/core/guid_text.h"
#include "quarlo_host/runtime/bridge_client.h"
#include "quarlo_host/runtime/heap_watch.h"
#include "quarlo_host/runtime/host_files.h"
#include "quarlo_host/runtime/leftover_watch.h"
#include "quarlo_host/runtime/utf.h"
#include "quarlo_host/runtime/window_watch.h"
#include "quarlo_host/ui/main_window.h"

namespace quarlo_host {

namespace {

constexpr size_t long_text_length = 30000;
// How long the host handles messages after the module unloaded.
constexpr DWORD after_unload_ms = 200;
constexpr GUID callback_guid = {0x5EED0002, 0xCA11, 0xBAC4, {1, 2, 3, 4, 5, 6, 7, 8}};

// The sample services from the file beside the program, beside the session's
// own checker service; without the file, that one alone.
void register_samples(service_registry& registry) {
  std::vector<service_entry> entries;
  services_file_error error;
  if (read_services_file(to_utf8(program_folder()) + "services.txt", entries, error)) {
    registry.add_all(entries);
  }
}

template <class Pick>
auto pick(std::mt19937& random, const Pick& from) {
  return from[random() % std::size(from)];
}

// Runs one command once, with the user at its windows.
command_run run_once(check_session& s, HWND main, window_user& user, named_object& callback,
                     const window_watch::image_range& image, size_t group, uint32_t index,
                     uint32_t repetition) {
  command_run run;
  run.group = group;
  run.index = index;
  run.repetition = repetition;
  const int32_t held = callback.outstanding();
  std::vector<int32_t> services_held;
  for (size_t i = 0; i < s.registry().size(); ++i) {
    services_held.push_back(s.registry().at(i).outstanding());
  }
  service_ref given;
  given.assign(&callback);
  user.begin_run();
  try {
    check_session::group(s.command_groups()[group]).run_command(index, std::move(given));
  } catch (const std::bad_alloc&) {
    run.thrown = thrown_kind::bad_alloc;
    run.exception = "std::bad_alloc";
  } catch (const quarlo_io::exception_io& e) {
    run.thrown = thrown_kind::exception_io;
    run.exception = "quarlo_io::exception_io";
    run.exception_message = e.what();
  } catch (const std::exception& e) {
    run.thrown = thrown_kind::other;
    run.exception = dynamic_cast<const module_exception*>(&e) != nullptr
                        ? "an exception of the module's own"
                        : "std::exception";
    run.exception_message = e.what();
  } catch (...) {
    run.thrown = thrown_kind::other;
    run.exception = "an exception of unknown type";
  }
  run.windows = user.end_run();
  s.host().arm(host_failure::none);
  const bool quit_left = handle_waiting_messages();
  run.posted_quit = user.took_quit() || quit_left;
  run.owner_enabled = IsWindowEnabled(main) != FALSE;
  // Enabled again, so the next run starts as the first did.
  if (!run.owner_enabled) EnableWindow(main, TRUE);
  run.callback_kept = callback.outstanding() - held;
  for (size_t i = 0; i < services_held.size(); ++i) {
    const named_object& service = s.registry().at(i);
    const int32_t kept = service.outstanding() - services_held[i];
    if (kept == 0) continue;
    run.services_unbalanced.push_back(
        service.name() + ": " +
        (kept > 0 ? std::to_string(kept) + " reference(s) kept"
                  : "released " + std::to_string(-kept) + " time(s) too often"));
  }
  for (const auto& w : run.windows) {
    if (IsWindow(w.window) && IsWindowVisible(w.window)) run.worked_alive.push_back(w.description);
  }
  run.left_running = leftover_watch::still_set();
  for (const auto& w : window_watch::find_windows(image)) {
    // The host's own window, subclassed: the process cases judge that.
    if (w.window == main) continue;
    const bool worked =
        std::any_of(run.windows.begin(), run.windows.end(),
                    [&](const worked_window& seen) { return seen.window == w.window; });
    // Shown after the command returned, owned by the host: a window the
    // command leaves open on purpose, which must be gone when the module unloads.
    const bool on_purpose =
        !worked && w.top_level && w.visible && GetWindow(w.window, GW_OWNER) != nullptr;
    if (!on_purpose) run.windows_left.push_back(window_watch::describe(w.window));
  }
  return run;
}

}  // namespace

std::string command_run::name() const {
  return "group " + std::to_string(group) + " command " + std::to_string(index) +
         (repetition == 0 ? "" : " (run " + std::to_string(repetition + 1) + ")");
}

std::vector<std::vector<std::wstring>> user_texts(uint32_t seed,
                                                  const std::vector<GUID>& registered) {
  std::mt19937 random(seed);
  static const char* const words[] = {"alpha", "profile", "library", "volume", "output",
                                      "queue", "service", "tamsel",  "quarlo", "index"};
  static const char* const multi_byte[] = {
      u8"Gr\u00FC\u00DFe aus K\u00F6ln", u8"\u6771\u4EAC\u306E\u56F3\u66F8\u9928",
      u8"caf\u00E9 \u2713 na\u00EFve", u8"\U0001D11E music \u266B \u20AC"};
  std::string plain = pick(random, words);
  for (int i = 0; i < 2; ++i) plain += std::string(" ") + pick(random, words);
  std::string wide_text = std::string(pick(random, multi_byte)) + " " + pick(random, multi_byte);
  std::string long_text(long_text_length, ' ');
  static const char hex_and_more[] = "0123456789abcdefABCDEF-{} xyz";
  for (char& c : long_text) c = hex_and_more[random() % (sizeof hex_and_more - 1)];
  GUID guid{};
  if (registered.empty()) {
    guid.Data1 = static_cast<uint32_t>(random());
  } else {
    guid = registered[random() % registered.size()];
  }
  const std::string braced = format_guid(guid);
  // A well-formed GUID that no registered service carries: a lookup must walk
  // past the last instance and stop.
  GUID unknown{};
  do {
    unknown = unknown_class(static_cast<uint32_t>(random()));
  } while (std::any_of(registered.begin(), registered.end(),
                       [&](const GUID& g) { return std::memcmp(&g, &unknown, sizeof g) == 0; }));
  const std::string unknown_braced = format_guid(unknown);
  std::string unknown_lower = unknown_braced.substr(1, unknown_braced.size() - 2);
  for (char& c : unknown_lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // The buttons are pressed once with a registered GUID in place, once with
  // the unknown one.
  return {
      {to_wide(plain), to_wide(wide_text), std::wstring(), to_wide(long_text),
       to_wide(braced.substr(1, braced.size() - 2)), to_wide("Which service is " + braced + "?")},
      {to_wide(unknown_lower), to_wide("Is it " + unknown_braced + "?")}};
}

commands_report run_commands(const check_context& context, const run_plan& plan) {
  commands_report report;
  // The callback and the main window outlive the module: a host unloads its
  // modules with its window still open. The commands are run directly, as
  // choosing them from a menu does; the menu itself would ask the module more
  // than the runs need.
  named_object callback(callback_guid, "checker callback");
  main_window window(std::vector<menu_popup>{});
  window.show();
  handle_waiting_messages();
  const HWND main = window.handle();
  const LONG_PTR main_procedure = GetWindowLongPtrW(main, GWLP_WNDPROC);
  state_log state(read_process_state(main));
  const auto after = [&](const std::string& call) { state.after(call, read_process_state(main)); };
  window_watch::image_range image;
  uint64_t mark = 0;
  load_observer observer;
  // In place before the module's start-up code, which may register a class
  // or start a thread.
  observer.mapped = [](HMODULE module) {
    window_watch::install(module);
    leftover_watch::install(module);
  };
  observer.started = [&](HMODULE) { after("loading it (LoadLibrary: its start-up code)"); };
  // Its objects are released; a thread of its own still running now would
  // run on in unmapped code, so it is stopped here.
  observer.unloading = [&](HMODULE) {
    after("releasing its command groups");
    report.left_at_unload = leftover_watch::stop_threads();
  };
  {
    check_session s(context, observer);
    after(std::string(quarlo_entry_name));
    image = window_watch::image_of(s.module().handle());
    register_samples(s.registry());
    const auto& groups = s.command_groups();
    after("making its command groups (make_instance)");
    report.no_groups = groups.empty();
    s.host().set_main_window(main);
    std::vector<GUID> registered;
    for (size_t i = 0; i < s.registry().size(); ++i) {
      registered.push_back(s.registry().at(i).service_guid());
    }
    // Limits well within the case's own, so the case ends itself.
    const double limit_ms = context.timeout_seconds * 1000;
    const user_limits limits{static_cast<unsigned>(std::min(1000.0, limit_ms / 20)),
                             static_cast<unsigned>(std::min(10000.0, limit_ms / 4))};
    window_user user(main, user_texts(context.seed, registered), limits,
                     [&s, &plan] { s.host().arm(plan.failure); });
    mark = heap_watch::mark();
    for (size_t g = 0; g < groups.size(); ++g) {
      const uint32_t count = check_session::group(groups[g]).command_count();
      for (uint32_t i = 0; i < count; ++i) {
        for (uint32_t r = 0; r < plan.runs_per_command; ++r) {
          command_run running;
          running.group = g;
          running.index = i;
          running.repetition = r;
          note_for_crash(("running " + running.name()).c_str());
          report.runs.push_back(run_once(s, main, user, callback, image, g, i, r));
          after(report.runs.back().name());
        }
      }
    }
  }
  note_for_crash(nullptr);
  after("unloading it (FreeLibrary)");
  // A subclass of the main window left in the unloaded image: the host's own
  // procedure back before anything sends it a message, so it does not jump there.
  if (image.contains(static_cast<uintptr_t>(GetWindowLongPtrW(main, GWLP_WNDPROC)))) {
    SetWindowLongPtrW(main, GWLP_WNDPROC, main_procedure);
  }
  report.state_changes = state.changes();
  // The module is gone: what it left is found by its former image's range.
  const auto after_unload = window_watch::find_windows(image);
  for (const auto& w : after_unload) {
    report.windows_after_unload.push_back(window_watch::describe(w.window));
  }
  for (const auto& c : window_watch::registered_classes()) {
    if (!window_watch::still_registered(c)) continue;
    const bool has_window =
        std::any_of(after_unload.begin(), after_unload.end(),
                    [&](const window_watch::module_window& w) { return w.class_name == c.name; });
    if (!has_window) report.classes_after_unload.push_back(to_utf8(c.name));
  }
  for (const std::string& left : leftover_watch::still_set()) report.left_at_unload.push_back(left);
  report.blocks_left = heap_watch::live_blocks_since(mark);
  for (const auto& w : after_unload) {
    if (IsWindow(w.window)) window_watch::disarm(w.window);
  }
  for (const auto& c : window_watch::registered_classes()) {
    if (window_watch::still_registered(c)) window_watch::unregister(c);
  }
  leftover_watch::end_all();
  // What was left and not seen fires now, while the case still runs: a crash
  // here is the case's.
  note_for_crash("handling the host's messages after the module unloaded");
  const DWORD until = GetTickCount() + after_unload_ms;
  do {
    handle_waiting_messages();
    Sleep(10);
  } while (static_cast<int32_t>(until - GetTickCount()) > 0);
  note_for_crash(nullptr);
  return report;
}

}  // namespace quarlo_host
