// The arguments several commands share, declared on each command's own parser:
// MODULE.dll and --abi for every command that loads a module, and for the
// commands that run a module's user interface
//   MODULE.dll [--abi gnu|msvc] [--services FILE] [--screenshot FILE.bmp]
//   [--text TEXT] [--update]
// with the registry filled from the --services file.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "quarlo_host/core/module_abi.h"
#include "quarlo_host/runtime/service_registry.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace quarlo_host {

// MODULE.dll, the command's first positional argument.
CLI::Option* add_module_argument(CLI::App& parser, std::string& module);
// --abi gnu|msvc: the ABI to drive the module in, instead of the one its imports show.
CLI::Option* add_abi_option(CLI::App& parser, std::optional<module_abi>& abi);

struct host_options {
  std::string module;
  std::optional<module_abi> abi;
  std::string services;
  std::string text;
  bool update = false;
  std::string screenshot;
};

// Declares the options on parser, to be read into options. with_dialog_options:
// --text (required) and --update too.
void add_host_options(CLI::App& parser, host_options& options, bool with_dialog_options);

// Fills registry from the --services file when one was given: true when path
// is empty or its services were added; false after writing the file's error
// to err.
bool add_services_from(const std::string& path, service_registry& registry, std::ostream& err);

}  // namespace quarlo_host
