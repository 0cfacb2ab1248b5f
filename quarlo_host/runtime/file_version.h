// The version a Windows file carries in its VERSIONINFO resource, as its
// properties show it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quarlo_host {

// "major.minor.build.revision" from the fixed part of the resource; none when
// the file has no version resource or cannot be read.
std::optional<std::string> file_version(std::string_view path);

}  // namespace quarlo_host
