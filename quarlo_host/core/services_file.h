// The services file: the named_service instances a host registers, in UTF-8.
//
//   # a comment: '#' as the first character of a line, after optional blanks
//   {7255E8D0-3FCF-4781-B93B-D06CB88DFAFA} Name of the service
//
// One instance a line: a braced GUID, one blank, the name (the rest of the
// line, trailing blanks and a CR dropped; it may hold '#' and any UTF-8).
// Blank lines are allowed and a leading byte-order mark is skipped. A line
// that is none of these, a name that is empty or not valid UTF-8, or a GUID
// already given is an error: it is reported with its line number and nothing
// is loaded.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "quarlo_host/core/service_entry.h"

namespace quarlo_host {

struct services_file_error {
  // 1-based; 0 when the file itself could not be read.
  uint32_t line = 0;
  std::string message;
};

// True with the entries in file order; false with error filled (line 1 or
// later) and out untouched.
bool parse_services(std::string_view text, std::vector<service_entry>& out,
                    services_file_error& error);

}  // namespace quarlo_host
