// GUIDs as the host writes and reads them: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
#pragma once

#include <string>
#include <string_view>

#include "quarlo/guid.h"

namespace quarlo_host {

// The braced form with upper-case hex digits.
std::string format_guid(const GUID& guid);
// Exactly the 38-character braced form, hex digits of either case; false otherwise.
bool parse_guid(std::string_view text, GUID& out);

}  // namespace quarlo_host
