// Conversions between the host's UTF-8 and the window system's UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace quarlo_host {

// Invalid sequences become U+FFFD.
std::wstring to_wide(std::string_view utf8);
std::string to_utf8(std::wstring_view wide);

}  // namespace quarlo_host
