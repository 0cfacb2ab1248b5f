#include "quarlo_host/cli/run_window.h"

#include <exception>
#include <memory>

#include <CLI/CLI.hpp>

#include "quarlo_host/cli/commands.h"
#include "quarlo_host/cli/shared_options.h"
#include "quarlo_host/core/guid_text.h"
#include "quarlo_host/runtime/file_version.h"
#include "quarlo_host/runtime/host_api_impl.h"
#include "quarlo_host/runtime/loaded_module.h"
#include "quarlo_host/ui/command_menu.h"
#include "quarlo_host/ui/main_window.h"
#include "quarlo_host/ui/window_bitmap.h"

namespace quarlo_host {

std::string host_overview(const module_facts& module, service_registry& registry) {
  std::string text = "Module\t" + module.path + "\r\n";
  text += std::string("ABI\t") + abi_name(module.abi) +
          (module.abi == module_abi::msvc ? " (Microsoft C++ ABI)" : " (GNU C++ ABI)") + "\r\n";
  text += "Version\t" + module.version.value_or("none") + "\r\n\r\n";
  text += "Named services (" + std::to_string(registry.size()) + ")\r\n";
  for (size_t i = 0; i < registry.size(); ++i) {
    named_object& object = registry.at(i);
    text += format_guid(object.service_guid()) + "\t" + object.name() + "\r\n";
  }
  return text;
}

namespace {

// Shows the window, lets it paint, saves its picture and closes it.
bool show_and_save(main_window& window, const std::string& path) {
  window.show();
  handle_waiting_messages();
  return save_window_bitmap(window.handle(), path);
}

int run_window(const host_options& options, std::ostream& err) {
  service_registry registry;
  if (!add_services_from(options.services, registry, err)) return 1;
  host_api_impl host(registry);
  try {
    loaded_module module(options.module, host, false, options.abi);
    // Declared after the module: the references go back before it unloads.
    const std::vector<service_ref> groups = find_command_groups(module.client());
    const module_facts facts{options.module, module.abi(), file_version(options.module)};
    main_window window(build_command_menu(groups), host_overview(facts, registry));
    host.set_main_window(window.handle());
    if (options.screenshot.empty()) {
      window.show_and_wait();
    } else if (!show_and_save(window, options.screenshot)) {
      err << "quarlo_host: cannot save the picture to " << options.screenshot << "\n";
      return 1;
    }
  } catch (const std::exception& e) {
    err << "quarlo_host: " << e.what() << "\n";
    return 1;
  }
  return leak_status(registry, err);
}

}  // namespace

command_action define_run_window(CLI::App& parser) {
  auto options = std::make_shared<host_options>();
  add_host_options(parser, *options, false);
  return [options](std::ostream&, std::ostream& err) { return run_window(*options, err); };
}

}  // namespace quarlo_host
