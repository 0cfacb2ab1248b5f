#include "quarlo_host/runtime/read_services_file.h"

#include <string>

#include "quarlo_host/runtime/read_file.h"

namespace quarlo_host {

bool read_services_file(std::string_view path, std::vector<service_entry>& out,
                        services_file_error& error) {
  std::string bytes;
  if (!read_file(path, bytes)) {
    error = {0, "cannot read " + std::string(path)};
    return false;
  }
  return parse_services(bytes, out, error);
}

}  // namespace quarlo_host
