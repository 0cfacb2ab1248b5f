// The arguments of the commands that run a module's user interface:
//   MODULE.dll [--abi gnu|msvc] [--services FILE] [--screenshot FILE.bmp]
//   [--text TEXT] [--update]
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "quarlo_host/module_abi.h"

namespace quarlo_host {

struct host_options {
  std::string module;
  std::optional<module_abi> abi;
  std::string services;
  std::string text;
  bool has_text = false;
  bool update = false;
  std::string screenshot;
};

// False with error set for a missing module, an unknown option, an option
// without its value or an unknown ABI. with_dialog_options: --text and --update
// are allowed.
bool parse_host_options(const std::vector<std::string>& args, bool with_dialog_options,
                        host_options& out, std::string& error);

}  // namespace quarlo_host
