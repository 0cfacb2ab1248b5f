#include "quarlo_host/commands.h"

#include "tamsel_version.h"

namespace quarlo_host {

const std::vector<host_command>& host_commands() {
  static const std::vector<host_command> table = {
      {"inspect", "MODULE.dll [--abi gnu|msvc]", "print the module's client and services",
       inspect_command},
      {"check", "MODULE.dll [--abi gnu|msvc] [--seed N] [--timeout SECONDS] [--json FILE]",
       "run every check case against the module, each in its own process", check_command},
      {"check-case", "MODULE.dll ID SEED [--abi gnu|msvc]",
       "run one check case here and print its result", check_case_command},
      {"run", "MODULE.dll [--abi gnu|msvc] [--services FILE] [--screenshot FILE.bmp]",
       "open the host window with the module's commands", run_window_command},
      {"lookup",
       "MODULE.dll [--abi gnu|msvc] [--services FILE] --text TEXT [--update] "
       "[--screenshot FILE.bmp]",
       "run the lookup command and work its dialog, printing its fields", lookup_command},
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
      if (argv[0] != command.name) continue;
      if (argv.size() == 2 && (argv[1] == "--help" || argv[1] == "-h")) {
        out << command_usage(command.name) << "  " << command.summary << "\n";
        return 0;
      }
      return command.run(std::vector<std::string>(argv.begin() + 1, argv.end()), out, err);
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
