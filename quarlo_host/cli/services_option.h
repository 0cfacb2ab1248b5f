// Fills a registry from the --services file of a command, when one was given.
#pragma once

#include <ostream>
#include <string>

#include "quarlo_host/runtime/service_registry.h"

namespace quarlo_host {

// True when path is empty or its services were added; false after writing
// the file's error to err.
bool add_services_from(const std::string& path, service_registry& registry, std::ostream& err);

}  // namespace quarlo_host
