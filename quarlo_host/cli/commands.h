// The quarlo_host program's commands: `quarlo_host <command> <arguments>`.
// Each command is one entry of the table in commands.cpp; a command in its
// own file adds its declaration here and one line to that table.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "quarlo_host/service_registry.h"

namespace quarlo_host {

// Arguments after the command name; the result is the process exit status
// (0 success, 1 failure, 2 a usage error).
using command_fn = int (*)(const std::vector<std::string>& args, std::ostream& out,
                           std::ostream& err);

struct host_command {
  const char* name;
  const char* arguments;
  const char* summary;
  command_fn run;
};

const std::vector<host_command>& host_commands();

// Runs argv[0] as a command with the rest as its arguments; no command or an
// unknown one prints the command list to err and returns 2. --version, --help
// and COMMAND --help print to out and return 0.
int run_host(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err);

// "usage: quarlo_host NAME ARGUMENTS\n" from the table; empty for no such command.
std::string command_usage(std::string_view name);

// A command's status once the module is gone: 0 when every reference came
// back to registry, else 1 after one "leak: " line per instance on err.
int leak_status(const service_registry& registry, std::ostream& err);

int check_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int check_case_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int inspect_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int run_window_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int lookup_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace quarlo_host
