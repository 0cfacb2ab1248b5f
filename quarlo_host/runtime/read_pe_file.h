// A PE image read from its file.
#pragma once

#include <string_view>

#include "quarlo_host/core/pe_image.h"

namespace quarlo_host {

// Reads and parses the file at a UTF-8 path; a file that cannot be read
// throws pe_error too.
pe_listing read_pe_file(std::string_view path);

}  // namespace quarlo_host
