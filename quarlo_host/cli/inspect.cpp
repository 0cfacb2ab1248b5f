#include "quarlo_host/cli/inspect.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "quarlo/mainmenu_commands.h"
#include "quarlo_host/cli/commands.h"
#include "quarlo_host/cli/shared_options.h"
#include "quarlo_host/core/guid_text.h"
#include "quarlo_host/runtime/file_version.h"
#include "quarlo_host/runtime/host_api_impl.h"
#include "quarlo_host/runtime/host_string.h"
#include "quarlo_host/runtime/loaded_module.h"

namespace quarlo_host {

namespace {

// A chain longer than this is taken for a loop.
constexpr uint32_t max_factories = 1000;

std::string hex32(uint32_t v) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(v));
  return text;
}

void inspect_commands(uint32_t factory, mainmenu_commands& group, std::ostream& out) {
  const uint32_t count = group.command_count();
  out << "factory " << factory << " mainmenu_commands parent_group "
      << format_guid(group.parent_group()) << " sort_priority " << hex32(group.sort_priority())
      << " commands " << count << "\n";
  for (uint32_t i = 0; i < count; ++i) {
    host_string name;
    group.command_name(i, name);
    host_string description;
    const bool described = group.command_description(i, description);
    out << "factory " << factory << " command " << i << " guid "
        << format_guid(group.command_guid(i)) << " description " << (described ? "yes" : "no")
        << " name " << name.text() << "\n";
    if (described) {
      out << "factory " << factory << " command " << i << " description_text " << description.text()
          << "\n";
    }
  }
}

}  // namespace

void inspect_module(module_client& client, std::ostream& out) {
  out << "client_version " << client.client_version() << "\n";
  out << "debug_build " << (client.debug_build() ? "true" : "false") << "\n";
  uint32_t n = 0;
  for (service_factory_base* f = client.first_factory(); f != nullptr; f = f->next, ++n) {
    if (n == max_factories) {
      out << "error factory chain longer than " << max_factories << "\n";
      return;
    }
    if (f->service_class == nullptr) {
      out << "error factory " << n << " has no class\n";
      continue;
    }
    out << "factory " << n << " class " << format_guid(*f->service_class) << "\n";
    if (!quarlo::guid_equal(*f->service_class, mainmenu_commands::class_guid)) continue;
    service_ref instance;
    f->make_instance(instance);
    if (!instance) {
      out << "error factory " << n << " made no instance\n";
      continue;
    }
    inspect_commands(n, *static_cast<mainmenu_commands*>(instance.get()), out);
  }
  out << "factories " << n << "\n";
}

namespace {

struct inspect_options {
  std::string module;
  std::optional<module_abi> abi;
};

int inspect(const inspect_options& options, std::ostream& out, std::ostream& err) {
  service_registry registry;
  host_api_impl host(registry);
  try {
    loaded_module module(options.module, host, false, options.abi);
    out << "file_version " << file_version(options.module).value_or("none") << "\n";
    inspect_module(module.client(), out);
  } catch (const std::exception& e) {
    err << "quarlo_host: " << e.what() << "\n";
    return 1;
  }
  return leak_status(registry, err);
}

}  // namespace

command_action define_inspect(CLI::App& parser) {
  auto options = std::make_shared<inspect_options>();
  add_module_argument(parser, options->module)->required();
  add_abi_option(parser, options->abi);
  return [options](std::ostream& out, std::ostream& err) { return inspect(*options, out, err); };
}

}  // namespace quarlo_host
