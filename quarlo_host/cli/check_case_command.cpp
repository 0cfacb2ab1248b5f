// `quarlo_host check-case MODULE.dll ID SEED [--abi gnu|msvc] [--timeout SECONDS]
// [--steps N] [--dump]`: the child process of `check` for one case. It prints
// one line, "result " and the result as JSON; a module that crashes ends the
// process with the exception code instead, after a result line that says
// where it crashed and what the case was doing, and with --dump once the
// parent has written its minidump.
#include <memory>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "quarlo/win32.h"
#include "quarlo_host/checker/case_runner.h"
#include "quarlo_host/checker/check_catalogue.h"
#include "quarlo_host/cli/commands.h"
#include "quarlo_host/cli/shared_options.h"
#include "quarlo_host/runtime/crash_report.h"

namespace quarlo_host {

namespace {

struct case_options {
  std::string module;
  std::string id;
  uint32_t seed = 0;
  std::optional<module_abi> abi;
  double timeout = 60;
  uint32_t steps = 0;
  bool dump = false;
};

// A crash asks the parent for a minidump.
bool dump_wanted = false;

// A crashing module must end its own process quietly, with the exception code.
LONG WINAPI end_with_exception_code(EXCEPTION_POINTERS* info) {
  char crash[1024];
  describe_crash(*info->ExceptionRecord, crash, sizeof crash);
  write_crash_result(crash);
  if (dump_wanted) request_crash_dump(info);
  TerminateProcess(GetCurrentProcess(), info->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

int run_one_case(const case_options& options, std::ostream& out, std::ostream& err) {
  const check_case* c = find_check_case(options.id);
  if (c == nullptr) {
    err << "quarlo_host check-case: no check case '" << options.id << "'\n";
    return 2;
  }
  dump_wanted = options.dump;
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(end_with_exception_code);
  run_case_for_parent(
      *c, {options.module, options.seed, options.abi, options.timeout, options.steps}, out);
  return 0;
}

}  // namespace

command_action define_check_case(CLI::App& parser) {
  auto o = std::make_shared<case_options>();
  add_module_argument(parser, o->module)->required();
  parser.add_option("ID", o->id, "the case's id")->required();
  parser.add_option("SEED", o->seed, "seed of every random input")->required();
  add_abi_option(parser, o->abi);
  parser.add_option("--timeout", o->timeout, "the case's time limit in seconds")
      ->option_text("SECONDS");
  parser.add_option("--steps", o->steps, "calls in a random sequence")->option_text("N");
  parser.add_flag("--dump", o->dump, "should the module crash, wait for check to write a minidump");
  return [o](std::ostream& out, std::ostream& err) { return run_one_case(*o, out, err); };
}

}  // namespace quarlo_host
