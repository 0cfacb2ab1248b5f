// `quarlo_host check MODULE.dll [options]`: runs the catalogue's cases against
// a module, each in a child process of its own (`quarlo_host check-case`),
// -j at a time, and reports them in catalogue order:
//
//   seed 1234
//   passed entry.loads: loads and quarlo_get_interface returns a client (...) [0.051 s]
//   ...
//   summary 53 passed, 0 failed, 1 skipped, 0 warning, 0 crashed in 4.210 s
//
// --json FILE and --junit FILE write the same for machines. A module that
// cannot be loaded at all is one error and no case runs. Exit status 0 when
// no case failed or crashed (warnings too under --strict), 1 when one did, 2
// for a usage error or a module that cannot be loaded.
// `quarlo_host check --list [--json]` prints the catalogue.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "quarlo/win32.h"
#include "quarlo_host/checker/case_runner.h"
#include "quarlo_host/checker/case_selection.h"
#include "quarlo_host/checker/check_catalogue.h"
#include "quarlo_host/checker/check_report.h"
#include "quarlo_host/cli/commands.h"
#include "quarlo_host/cli/shared_options.h"
#include "quarlo_host/runtime/utf.h"

namespace quarlo_host {

namespace {

struct check_options {
  std::string module;
  std::optional<module_abi> abi;
  std::vector<std::string> only;
  std::vector<std::string> skip;
  uint32_t seed = 0;
  uint32_t repeat = 1;
  double timeout = 60;
  uint32_t steps = 0;
  unsigned jobs = 1;
  bool in_process = false;
  bool strict = false;
  bool list = false;
  bool json = false;
  std::string json_path;
  std::string junit_path;
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
  if (options.module.empty()) {
    err << "quarlo_host check: MODULE.dll is required\n" << command_usage("check");
    return 2;
  }
  std::vector<const check_case*> selection;
  std::string error;
  if (!select_cases(check_catalogue(), options.only, options.skip, selection, error)) {
    err << "quarlo_host check: " << error << "\n" << command_usage("check");
    return 2;
  }
  const runner_options runner{options.module, options.abi,  options.timeout,
                              options.steps,  options.jobs, options.in_process};
  std::string reason;
  if (!module_loads(runner, options.seed, reason)) {
    err << "quarlo_host check: " << options.module << " cannot be checked: " << reason << "\n";
    return 2;
  }
  std::vector<case_job> jobs;
  for (uint32_t r = 0; r < options.repeat; ++r) {
    for (const check_case* c : selection) jobs.push_back({c, options.seed + r, r});
  }
  // JSON without a file goes to out in place of the human report.
  const bool human = !(options.json && options.json_path.empty());
  check_run run{options.module, {}, options.strict, 0};
  const auto start = std::chrono::steady_clock::now();
  run.outcomes = run_jobs(jobs, runner, [&](const case_outcome& o) {
    if (!human) return;
    if (o.job.c == selection.front()) out << "seed " << o.job.seed << "\n";
    write_case_line(o, options.strict, out);
  });
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (human) write_summary(run, out);
  if (!human) out << report_json(run);
  if (!options.json_path.empty() && !write_text(options.json_path, report_json(run), err)) return 1;
  if (!options.junit_path.empty() && !write_text(options.junit_path, report_junit(run), err)) {
    return 1;
  }
  return run_verdict(run);
}

}  // namespace

command_action define_check(CLI::App& parser) {
  auto o = std::make_shared<check_options>();
  o->seed = time_seed();
  o->jobs = processors();
  add_module_argument(parser, o->module);
  add_abi_option(parser, o->abi);
  // One pattern per occurrence, so a module after it stays the module.
  parser.add_option("--only", o->only, "run only the cases whose id matches (glob)")
      ->allow_extra_args(false)
      ->option_text("PATTERN");
  parser.add_option("--skip", o->skip, "leave out the cases whose id matches (glob)")
      ->allow_extra_args(false)
      ->option_text("PATTERN");
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
