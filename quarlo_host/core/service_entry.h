// One named_service instance a host registers: its GUID and its UTF-8 name.
#pragma once

#include <string>

#include "quarlo/guid.h"

namespace quarlo_host {

struct service_entry {
  GUID guid;
  std::string name;
};

}  // namespace quarlo_host
