#include "quarlo_host/cli/services_option.h"

#include <vector>

#include "quarlo_host/runtime/host_files.h"

namespace quarlo_host {

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
