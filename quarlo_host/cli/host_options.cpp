#include "quarlo_host/cli/host_options.h"

#include <CLI/CLI.hpp>

#include "quarlo_host/cli/module_options.h"

namespace quarlo_host {

void add_host_options(CLI::App& parser, host_options& options, bool with_dialog_options) {
  add_module_argument(parser, options.module)->required();
  add_abi_option(parser, options.abi);
  parser.add_option("--services", options.services, "the named services file");
  parser.add_option("--screenshot", options.screenshot, "save a picture (BMP) and close");
  if (with_dialog_options) {
    parser.add_option("--text", options.text, "the text to type into Input")->required();
    parser.add_flag("--update", options.update, "press Update");
  }
}

}  // namespace quarlo_host
