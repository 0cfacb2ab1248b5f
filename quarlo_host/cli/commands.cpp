#include "quarlo_host/cli/commands.h"

#include <CLI/CLI.hpp>

#include "tamsel_version.h"

namespace quarlo_host {

const std::vector<host_command>& host_commands() {
  static const std::vector<host_command> table = {
      {"inspect", "MODULE.dll [--abi gnu|msvc]", "print the module's client and services",
       define_inspect},
      {"check",
       "MODULE.dll [--abi gnu|msvc] [--only PATTERN]... [--skip PATTERN]... [--seed N] "
       "[--repeat N] [--timeout SECONDS] [-j N] [--in-process] [--strict] [--json FILE] "
       "[--junit FILE]\n       quarlo_host check --list [--json]",
       "run the contract's check cases against the module, each in its own process", define_check},
      {"check-case", "MODULE.dll ID SEED [--abi gnu|msvc]",
       "run one check case here and print its result", define_check_case},
      {"run", "MODULE.dll [--abi gnu|msvc] [--services FILE] [--screenshot FILE.bmp]",
       "open the host window with the module's commands", define_run_window},
      {"lookup",
       "MODULE.dll [--abi gnu|msvc] [--services FILE] --text TEXT [--update] "
       "[--screenshot FILE.bmp]",
       "run the lookup command and work its dialog, printing its fields", define_lookup},
  };
  return table;
}

std::string command_usage(std::string_view name) {
  for (const auto& command : host_commands()) {
    if (name == command.name) {
      return std::string("usage: quarlo_host ") + command.name + " " + command.arguments + "\n";
    }
  }
  return {};
}

namespace {

void list_commands(std::ostream& to) {
  to << "usage: quarlo_host <command> [arguments]\n"
        "       quarlo_host --version | --help | <command> --help\n";
  for (const auto& command : host_commands()) {
    to << "  " << command.name << " " << command.arguments << "\n      " << command.summary << "\n";
  }
}

int run_command(const host_command& command, const std::vector<std::string>& args,
                std::ostream& out, std::ostream& err) {
  CLI::App parser(command.summary, std::string("quarlo_host ") + command.name);
  // A path such as /home/me/module.dll (Wine passes Unix paths through) is an
  // argument, not a Windows-style option.
  parser.allow_windows_style_options(false);
  const command_action action = command.define(parser);
  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    parser.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out << command_usage(command.name) << "  " << command.summary << "\n";
    return 0;
  } catch (const CLI::ParseError& e) {
    err << "quarlo_host " << command.name << ": " << e.what() << "\n"
        << command_usage(command.name);
    return 2;
  }
  return action(out, err);
}

}  // namespace

int run_host(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
  if (argv.size() == 1 && argv[0] == "--version") {
    out << "quarlo_host " << TAMSEL_VERSION_TEXT << "\n";
    return 0;
  }
  if (argv.size() == 1 && (argv[0] == "--help" || argv[0] == "-h")) {
    list_commands(out);
    return 0;
  }
  if (!argv.empty()) {
    for (const auto& command : host_commands()) {
      if (argv[0] == command.name) {
        return run_command(command, std::vector<std::string>(argv.begin() + 1, argv.end()), out,
                           err);
      }
    }
    err << "quarlo_host: unknown command '" << argv[0] << "'\n";
  }
  list_commands(err);
  return 2;
}

int leak_status(const service_registry& registry, std::ostream& err) {
  const std::vector<std::string> leaks = registry.leak_report();
  for (const auto& line : leaks) err << "leak: " << line << "\n";
  return leaks.empty() ? 0 : 1;
}

}  // namespace quarlo_host
