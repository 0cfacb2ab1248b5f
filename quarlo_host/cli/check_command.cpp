// `quarlo_host check MODULE.dll|FOLDER... [options]`: runs the catalogue's
// cases against each module (a folder stands for its DLLs that export
// quarlo_get_interface), each case in a child process of its own
// (`quarlo_host check-case`), -j at a time, and reports them in catalogue
// order:
//
//   seed 1234
//   passed entry.loads: loads and quarlo_get_interface returns a client (...) [0.051 s]
//   ...
//   summary 53 passed, 0 failed, 1 skipped, 0 warning, 0 crashed in 4.210 s
//
// with a "module PATH" line before each module's when there are several.
// --json FILE and --junit FILE write the same for machines. --config FILE
// reads the module's known deviations (check_config.h): cases skipped with
// their reason, and defaults for the options. A module that cannot be loaded
// at all is one error and no case of it runs. Where the host cannot create a
// window (no display), the cases that need one do not run and the check ends
// with one line that says so. Exit status 0 when no case failed or crashed
// (warnings too under --strict), 1 when one did, 2 for a usage error, a
// module that cannot be loaded or cases that could not run here.
// `quarlo_host check --list [--json]` prints the catalogue.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "quarlo/module_entry.h"
#include "quarlo/win32.h"
#include "quarlo_host/checker/case_runner.h"
#include "quarlo_host/checker/case_selection.h"
#include "quarlo_host/checker/check_catalogue.h"
#include "quarlo_host/checker/check_config.h"
#include "quarlo_host/checker/check_report.h"
#include "quarlo_host/cli/commands.h"
#include "quarlo_host/cli/shared_options.h"
#include "quarlo_host/runtime/host_files.h"
#include "quarlo_host/runtime/utf.h"

namespace quarlo_host {

namespace {

struct check_options {
  std::vector<std::string> modules;
  std::optional<module_abi> abi;
  std::vector<std::string> only;
  std::vector<std::string> skip;
  // Unset: from the file of deviations, else the default.
  std::optional<uint32_t> seed;
  uint32_t repeat = 1;
  std::optional<double> timeout;
  std::optional<uint32_t> steps;
  std::optional<unsigned> jobs;
  bool in_process = false;
  bool strict = false;
  bool list = false;
  bool json = false;
  std::string json_path;
  std::string junit_path;
  std::string config_path;
  std::string dumps;
};

unsigned processors() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors == 0 ? 1 : info.dwNumberOfProcessors;
}

uint32_t time_seed() {
  return static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count() &
                               0x7FFFFFFF);
}

int list_cases(bool json, std::ostream& out) {
  if (json) {
    nlohmann::json cases = nlohmann::json::array();
    for (const auto& c : check_catalogue()) {
      cases.push_back(
          {{"id", c.id}, {"area", case_area(c)}, {"description", c.description}, {"why", c.why}});
    }
    out << cases.dump(2) << "\n";
    return 0;
  }
  for (const auto& c : check_catalogue()) {
    out << c.id << " [" << case_area(c) << "] " << c.description << "\n    why: " << c.why << "\n";
  }
  return 0;
}

bool write_text(const std::string& path, const std::string& text, std::ostream& err) {
  std::ofstream file(to_wide(path).c_str(), std::ios::binary);
  file << text;
  file.close();
  if (!file) err << "quarlo_host: cannot write " << path << "\n";
  return static_cast<bool>(file);
}

// Loads the module once, as a case of its own: false with the reason when
// it cannot be loaded or entered at all.
bool module_loads(const runner_options& runner, uint32_t seed, std::string& reason) {
  const check_case* loads = find_check_case("entry.loads");
  const auto outcomes = run_jobs({{loads, seed, 0}}, runner, [](const case_outcome&) {});
  reason = outcomes.front().result.details;
  return outcomes.front().result.status == check_status::passed;
}

bool is_folder(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(to_wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool is_module(const std::string& path) {
  try {
    const pe_listing pe = read_pe_file(path);
    return std::find(pe.exports.begin(), pe.exports.end(), quarlo_entry_name) != pe.exports.end();
  } catch (const pe_error&) {
    return false;
  }
}

// The modules the arguments name: a file as it is, a folder as its DLLs that
// export quarlo_get_interface, by name. False after saying why on err.
bool modules_named(const std::vector<std::string>& arguments, std::vector<std::string>& modules,
                   std::ostream& err) {
  for (const std::string& argument : arguments) {
    if (!is_folder(argument)) {
      modules.push_back(argument);
      continue;
    }
    const bool separated = argument.back() == '\\' || argument.back() == '/';
    const std::string folder = argument + (separated ? "" : "\\");
    std::vector<std::string> found;
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW(to_wide(folder + "*.dll").c_str(), &entry);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &entry)) {
      const std::string path = folder + to_utf8(entry.cFileName);
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && is_module(path)) {
        found.push_back(path);
      }
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    if (found.empty()) {
      err << "quarlo_host check: " << argument
          << " holds no module (no .dll that exports quarlo_get_interface)\n";
      return false;
    }
    std::sort(found.begin(), found.end());
    modules.insert(modules.end(), found.begin(), found.end());
  }
  return true;
}

bool read_config(const std::string& path, check_config& config, std::ostream& err) {
  std::string text;
  std::string error;
  if (!read_file(path, text)) {
    error = "cannot be read";
  } else if (!parse_check_config(text, check_catalogue(), config, error)) {
    error = error.empty() ? "cannot be read" : error;
  } else {
    return true;
  }
  err << "quarlo_host check: " << path << ": " << error << "\n";
  return false;
}

// Whether this process can create a window: not on a machine without a
// display or a desktop, such as a CI runner without a virtual display.
bool can_create_windows() {
  const HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
  if (probe == nullptr) return false;
  DestroyWindow(probe);
  return true;
}

// What a run of the selection holds, case by case in catalogue order: a case
// to run, or one left out with the reason.
struct planned_case {
  const check_case* c;
  std::optional<check_result> left_out;
};

struct check_plan {
  std::vector<planned_case> cases;
  // Cases that need a window and cannot have one here.
  size_t without_window = 0;
};

const char* const no_window_text =
    "not run: the host cannot create a window here (no display or desktop)";

bool plan_cases(const check_options& options, const check_config& config, check_plan& plan,
                std::ostream& err) {
  std::vector<const check_case*> wanted;
  std::vector<const check_case*> selected;
  std::string error;
  if (!select_cases(check_catalogue(), options.only, {}, wanted, error) ||
      !select_cases(check_catalogue(), options.only, options.skip, selected, error)) {
    err << "quarlo_host check: " << error << "\n" << command_usage("check");
    return false;
  }
  std::optional<bool> windows;
  for (const check_case* c : wanted) {
    planned_case entry{c, std::nullopt};
    if (const config_skip* skip = skip_for(config, c->id)) {
      entry.left_out = skipped("left out by " + options.config_path + ": " + skip->reason);
    } else if (std::find(selected.begin(), selected.end(), c) == selected.end()) {
      entry.left_out = skipped("left out with --skip");
    } else if (c->needs_window) {
      if (!windows) windows = can_create_windows();
      if (!*windows) {
        entry.left_out = skipped(no_window_text);
        ++plan.without_window;
      }
    }
    plan.cases.push_back(entry);
  }
  return true;
}

struct resolved {
  uint32_t seed;
  bool strict;
  runner_options runner;
};

// Checks one module: every case of the plan, repeat times, with the human
// report written to out as the cases end, when human.
check_run check_module(const std::string& module, const check_plan& plan, const resolved& r,
                       uint32_t repeat, bool human, std::ostream& out, std::ostream& err) {
  check_run run{module, {}, r.strict, 0, {}};
  runner_options runner = r.runner;
  runner.module_path = module;
  const auto start = std::chrono::steady_clock::now();
  std::string reason;
  if (!module_loads(runner, r.seed, reason)) {
    run.not_checked = "it cannot be loaded: " + reason;
    err << "quarlo_host check: " << module << " cannot be checked: " << reason << "\n";
    return run;
  }
  std::vector<case_outcome> all;
  std::vector<case_job> jobs;
  std::vector<size_t> place;  // of each job in all
  for (uint32_t rep = 0; rep < repeat; ++rep) {
    for (const planned_case& p : plan.cases) {
      const case_job job{p.c, r.seed + rep, rep};
      if (!p.left_out) {
        jobs.push_back(job);
        place.push_back(all.size());
      }
      all.push_back({job, p.left_out.value_or(check_result{check_status::skipped, {}})});
    }
  }
  size_t written = 0;
  const auto write_until = [&](size_t end) {
    if (!human) return;
    for (; written < end; ++written) {
      // Each repetition starts with its seed.
      if (written % plan.cases.size() == 0) out << "seed " << all[written].job.seed << "\n";
      write_case_line(all[written], run.strict, out);
    }
  };
  // Outcomes come in the jobs' order.
  size_t reported = 0;
  run_jobs(jobs, runner, [&](const case_outcome& o) {
    const size_t at = place[reported++];
    all[at] = o;
    write_until(at + 1);
  });
  write_until(all.size());
  run.outcomes = std::move(all);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return run;
}

// A number above zero, for counts and time limits.
const CLI::Validator above_zero(
    [](std::string& text) {
      char* end = nullptr;
      const double value = std::strtod(text.c_str(), &end);
      return end != text.c_str() && *end == '\0' && value > 0 ? std::string()
                                                              : text + " is not above 0";
    },
    "above 0");

int check(const check_options& options, std::ostream& out, std::ostream& err) {
  if (options.list) return list_cases(options.json && options.json_path.empty(), out);
  if (options.modules.empty()) {
    err << "quarlo_host check: MODULE.dll is required\n" << command_usage("check");
    return 2;
  }
  check_config config;
  if (!options.config_path.empty() && !read_config(options.config_path, config, err)) return 2;
  std::vector<std::string> modules;
  if (!modules_named(options.modules, modules, err)) return 2;
  check_plan plan;
  if (!plan_cases(options, config, plan, err)) return 2;
  if (!options.dumps.empty() && !is_folder(options.dumps) &&
      !CreateDirectoryW(to_wide(options.dumps).c_str(), nullptr)) {
    err << "quarlo_host check: cannot create the folder " << options.dumps << "\n";
    return 2;
  }
  const resolved r{options.seed.value_or(config.seed.value_or(time_seed())),
                   options.strict || config.strict.value_or(false),
                   {{},
                    options.abi,
                    options.timeout.value_or(config.timeout_seconds.value_or(60)),
                    options.steps.value_or(config.steps.value_or(0)),
                    options.jobs.value_or(config.jobs.value_or(processors())),
                    options.in_process,
                    options.dumps}};
  // JSON without a file goes to out in place of the human report.
  const bool human = !(options.json && options.json_path.empty());
  std::vector<check_run> runs;
  for (const std::string& module : modules) {
    if (human && modules.size() > 1) out << "module " << module << "\n";
    runs.push_back(check_module(module, plan, r, options.repeat, human, out, err));
    if (human && runs.back().not_checked.empty()) write_summary(runs.back(), out);
  }
  if (!human) out << report_json(runs);
  if (!options.json_path.empty() && !write_text(options.json_path, report_json(runs), err))
    return 1;
  if (!options.junit_path.empty() && !write_text(options.junit_path, report_junit(runs), err)) {
    return 1;
  }
  if (plan.without_window != 0) {
    err << "quarlo_host check: " << plan.without_window
        << " case(s) need the host's main window, which cannot be created here (no display or "
           "desktop): run the check with a display (on Linux, quarlo_check_wine.sh quarlo_host.exe "
           "check ... brings one, as does xvfb-run -a wine), or leave them out with --skip "
           "'run.*' --skip 'process.*'\n";
    return 2;
  }
  return runs_verdict(runs);
}

}  // namespace

command_action define_check(CLI::App& parser) {
  auto o = std::make_shared<check_options>();
  // One or more; a module after --only or --skip stays a module.
  parser.add_option("MODULE.dll", o->modules, "the modules' DLLs, or folders of them")
      ->option_text("MODULE.dll");
  add_abi_option(parser, o->abi);
  // One pattern per occurrence, so a module after it stays the module.
  parser.add_option("--only", o->only, "run only the cases whose id matches (glob)")
      ->allow_extra_args(false)
      ->option_text("PATTERN");
  parser.add_option("--skip", o->skip, "leave out the cases whose id matches (glob)")
      ->allow_extra_args(false)
      ->option_text("PATTERN");
  parser
      .add_option("--config", o->config_path,
                  "the module's known deviations: cases to skip with reasons, and defaults")
      ->option_text("FILE");
  parser.add_option("--seed", o->seed, "seed of every random input (default: from the clock)")
      ->option_text("N");
  parser.add_option("--repeat", o->repeat, "run the selection N times, seeds seed, seed+1, ...")
      ->check(above_zero)
      ->option_text("N");
  parser.add_option("--timeout", o->timeout, "time limit of each case in seconds (default 60)")
      ->check(above_zero)
      ->option_text("SECONDS");
  parser.add_option("--steps", o->steps, "calls in a random sequence (default: about a second)")
      ->check(above_zero)
      ->option_text("N");
  parser.add_option("-j,--jobs", o->jobs, "case processes at once (default: the processors)")
      ->check(above_zero)
      ->option_text("N");
  parser.add_flag("--in-process", o->in_process, "run the cases here, one by one, for a debugger");
  parser.add_flag("--strict", o->strict, "warnings fail");
  parser.add_option("--dumps", o->dumps, "write a minidump of each crashed case into FOLDER")
      ->option_text("FOLDER");
  parser.add_flag("--list", o->list, "print the catalogue of cases");
  parser
      .add_option_function<std::string>(
          "--json",
          [o](const std::string& path) {
            o->json = true;
            o->json_path = path;
          },
          "write the report as JSON to FILE (to standard output without one)")
      ->expected(0, 1)
      ->option_text("FILE");
  parser.add_option("--junit", o->junit_path, "write the report as JUnit XML to FILE")
      ->option_text("FILE");
  return [o](std::ostream& out, std::ostream& err) { return check(*o, out, err); };
}

}  // namespace quarlo_host
