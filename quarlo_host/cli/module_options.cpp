#include "quarlo_host/cli/module_options.h"

#include <CLI/CLI.hpp>

namespace quarlo_host {

CLI::Option* add_module_argument(CLI::App& parser, std::string& module) {
  return parser.add_option("MODULE", module, "the module's DLL");
}

CLI::Option* add_abi_option(CLI::App& parser, std::optional<module_abi>& abi) {
  return parser
      .add_option_function<std::string>(
          "--abi",
          [&abi](const std::string& name) {
            module_abi parsed = module_abi::gnu;
            if (parse_abi(name, parsed)) abi = parsed;
          },
          "the module's C++ ABI, gnu or msvc")
      ->check(CLI::IsMember({"gnu", "msvc"}));
}

}  // namespace quarlo_host
