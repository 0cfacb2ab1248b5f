#include "quarlo_host/cli/shared_options.h"

#include <vector>

#include <CLI/CLI.hpp>

#include "quarlo_host/runtime/host_files.h"

namespace quarlo_host {

CLI::Option* add_module_argument(CLI::App& parser, std::string& module) {
  return parser.add_option("MODULE.dll", module, "the module's DLL");
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
      ->check(CLI::IsMember({"gnu", "msvc"}))
      ->option_text("gnu|msvc");
}

void add_host_options(CLI::App& parser, host_options& options, bool with_dialog_options) {
  add_module_argument(parser, options.module)->required();
  add_abi_option(parser, options.abi);
  parser.add_option("--services", options.services, "the named services file")->option_text("FILE");
  parser.add_option("--screenshot", options.screenshot, "save a picture (BMP) and close")
      ->option_text("FILE.bmp");
  if (with_dialog_options) {
    parser.add_option("--text", options.text, "the text to type into Input")
        ->required()
        ->option_text("TEXT");
    parser.add_flag("--update", options.update, "press Update");
  }
}

bool add_services_from(const std::string& path, service_registry& registry, std::ostream& err) {
  if (path.empty()) return true;
  std::vector<service_entry> entries;
  services_file_error error;
  if (!read_services_file(path, entries, error)) {
    err << "quarlo_host: " << path;
    if (error.line != 0) err << ":" << error.line;
    err << ": " << error.message << "\n";
    return false;
  }
  registry.add_all(entries);
  return true;
}

}  // namespace quarlo_host
