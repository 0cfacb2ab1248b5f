// `quarlo_host run MODULE.dll [--abi gnu|msvc] [--services FILE]`: the host's main window with
// the module's commands in its menu, for a user to work with until it closes.
#include <exception>

#include "quarlo_host/commands.h"
#include "quarlo_host/host_api_impl.h"
#include "quarlo_host/loaded_module.h"
#include "quarlo_host/ui/command_menu.h"
#include "quarlo_host/ui/host_options.h"
#include "quarlo_host/ui/main_window.h"
#include "quarlo_host/ui/services_option.h"

namespace quarlo_host {

int run_window_command(const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
  host_options options;
  std::string error;
  if (!parse_host_options(args, false, options, error)) {
    err << "quarlo_host run: " << error << "\n" << command_usage("run");
    return 2;
  }
  service_registry registry;
  if (!add_services_from(options.services, registry, err)) return 1;
  host_api_impl host(registry);
  try {
    loaded_module module(options.module, host, false, options.abi);
    // Declared after the module: the references go back before it unloads.
    const std::vector<service_ref> groups = find_command_groups(module.client());
    main_window window(build_command_menu(groups));
    host.set_main_window(window.handle());
    window.show_and_wait();
  } catch (const std::exception& e) {
    err << "quarlo_host: " << e.what() << "\n";
    return 1;
  }
  return leak_status(registry, err);
}

}  // namespace quarlo_host
