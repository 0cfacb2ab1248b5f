// The arguments every command that loads a module shares, one parser each.
#pragma once

#include <optional>
#include <string>

#include "quarlo_host/core/module_abi.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace quarlo_host {

// MODULE.dll, the command's first positional argument.
CLI::Option* add_module_argument(CLI::App& parser, std::string& module);
// --abi gnu|msvc: the ABI to drive the module in, instead of the one its imports show.
CLI::Option* add_abi_option(CLI::App& parser, std::optional<module_abi>& abi);

}  // namespace quarlo_host
