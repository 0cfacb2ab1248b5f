// Why the loader refused a module file, said so that a user knows what to do.
// It works from the file's bytes, so it is portable: the caller supplies the
// loader's error code and a way to ask whether a DLL can be found.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quarlo_host {

// True when a DLL of that name (as an import table spells it) can be found
// where the loader looks for a module's dependencies.
using dll_finder = std::function<bool(std::string_view dll)>;

// "cannot load PATH (error N): " followed by what is wrong and what to do.
// contents holds the file's bytes, or nothing when the file cannot be read.
std::string explain_load_failure(std::string_view path, uint32_t error,
                                 std::optional<std::string_view> contents, const dll_finder& find);

}  // namespace quarlo_host
