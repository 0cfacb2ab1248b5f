#include "quarlo_host/ui/host_overview.h"

#include "quarlo_host/core/guid_text.h"

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

}  // namespace quarlo_host
