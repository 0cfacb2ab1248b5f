// The quarlo_host program's commands: `quarlo_host <command> <arguments>`.
// Each command is one entry of the table in commands.cpp: it declares its
// arguments on a CLI11 parser of its own and returns the action to run once
// they parsed. The usage lines and each command's --help come from those
// declarations: an option shows its value as its option_text says (--seed N).
// A command in its own file adds its declaration here and one line to that
// table.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "quarlo_host/runtime/service_registry.h"

namespace CLI {
class App;
}

namespace quarlo_host {

// The result is the process exit status (0 success, 1 failure, 2 a usage error).
using command_action = std::function<int(std::ostream& out, std::ostream& err)>;
using command_definition = command_action (*)(CLI::App& parser);

struct host_command {
  const char* name;
  const char* summary;
  command_definition define;
};

const std::vector<host_command>& host_commands();

// Runs argv[0] as a command with the rest as its arguments; no command or an
// unknown one prints the command list to err and returns 2, as do arguments
// the command's parser refuses. --version, --help and COMMAND --help print to
// out and return 0.
int run_host(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err);

// "usage: quarlo_host NAME ARGUMENTS\n", the arguments as the command's
// parser declares them; empty for no such command.
std::string command_usage(std::string_view name);

// A command's status once the module is gone: 0 when every reference came
// back to registry, else 1 after one "leak: " line per instance on err.
int leak_status(const service_registry& registry, std::ostream& err);

command_action define_check(CLI::App& parser);
command_action define_check_case(CLI::App& parser);
command_action define_inspect(CLI::App& parser);
command_action define_run_window(CLI::App& parser);
command_action define_lookup(CLI::App& parser);

}  // namespace quarlo_host
