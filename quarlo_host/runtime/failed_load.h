// The message for a module LoadLibrary refused: the file is read and each DLL
// it imports is looked for beside the module, beside the host program and in
// the system folder, then explain_load_failure says what is wrong.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quarlo_host {

// path as given to LoadLibrary (UTF-8), error as GetLastError gave it after.
std::string failed_load_message(std::string_view path, uint32_t error);

}  // namespace quarlo_host
