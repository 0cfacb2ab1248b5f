// The services file read from disk (the format: services_file.h).
#pragma once

#include <string_view>
#include <vector>

#include "quarlo_host/core/services_file.h"

namespace quarlo_host {

// Reads the file at a UTF-8 path and parses it; a file that cannot be read is
// reported as line 0.
bool read_services_file(std::string_view path, std::vector<service_entry>& out,
                        services_file_error& error);

}  // namespace quarlo_host
