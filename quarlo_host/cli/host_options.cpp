#include "quarlo_host/ui/host_options.h"

#include <utility>

namespace quarlo_host {

bool parse_host_options(const std::vector<std::string>& args, bool with_dialog_options,
                        host_options& out, std::string& error) {
  host_options options;
  bool have_module = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool has_value = i + 1 < args.size();
    if (arg == "--services" || arg == "--abi" || arg == "--screenshot" ||
        (with_dialog_options && arg == "--text")) {
      if (!has_value) {
        error = arg + " needs a value";
        return false;
      }
      const std::string& value = args[++i];
      module_abi abi = module_abi::gnu;
      if (arg == "--services") {
        options.services = value;
      } else if (arg == "--abi") {
        if (!parse_abi(value, abi)) {
          error = "--abi takes gnu or msvc, not " + value;
          return false;
        }
        options.abi = abi;
      } else if (arg == "--text") {
        options.text = value;
        options.has_text = true;
      } else {
        options.screenshot = value;
      }
    } else if (with_dialog_options && arg == "--update") {
      options.update = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + arg;
      return false;
    } else if (!have_module) {
      options.module = arg;
      have_module = true;
    } else {
      error = "unexpected argument " + arg;
      return false;
    }
  }
  if (!have_module) {
    error = "no module given";
    return false;
  }
  out = std::move(options);
  return true;
}

}  // namespace quarlo_host
