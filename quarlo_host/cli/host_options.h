// The arguments of the commands that run a module's user interface:
//   MODULE.dll [--abi gnu|msvc] [--services FILE] [--screenshot FILE.bmp]
//   [--text TEXT] [--update]
#pragma once

#include <optional>
#include <string>

#include "quarlo_host/core/module_abi.h"

namespace CLI {
class App;
}

namespace quarlo_host {

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

}  // namespace quarlo_host
