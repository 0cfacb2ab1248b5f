// The check the host applies to UTF-8 that comes from outside (the services file).
#pragma once

#include <string_view>

namespace quarlo_host {

// True when text is well-formed UTF-8 (no overlongs, surrogates or values past U+10FFFF).
bool valid_utf8(std::string_view text);

}  // namespace quarlo_host
