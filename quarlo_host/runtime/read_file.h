// A whole file's bytes, by UTF-8 path.
#pragma once

#include <string>
#include <string_view>

namespace quarlo_host {

// False when the file cannot be opened or read, or is larger than 256 MiB.
bool read_file(std::string_view path, std::string& out);

}  // namespace quarlo_host
