#include "quarlo_host/runtime/read_pe_file.h"

#include <string>

#include "quarlo_host/runtime/read_file.h"

namespace quarlo_host {

pe_listing read_pe_file(std::string_view path) {
  std::string bytes;
  if (!read_file(path, bytes)) throw pe_error("cannot read " + std::string(path));
  return parse_pe(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), false);
}

}  // namespace quarlo_host
