#include "quarlo_host/core/module_abi.h"

#include <cctype>

namespace quarlo_host {

namespace {

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

}  // namespace

const char* abi_name(module_abi abi) { return abi == module_abi::gnu ? "gnu" : "msvc"; }

bool parse_abi(std::string_view text, module_abi& out) {
  for (module_abi abi : {module_abi::gnu, module_abi::msvc}) {
    if (text == abi_name(abi)) {
      out = abi;
      return true;
    }
  }
  return false;
}

module_abi detect_abi(const pe_listing& image) {
  for (const pe_import& dll : image.imports) {
    if (starts_with_ignoring_case(dll.dll, "libgcc_s_") ||
        starts_with_ignoring_case(dll.dll, "libstdc++")) {
      return module_abi::gnu;
    }
  }
  return module_abi::msvc;
}

}  // namespace quarlo_host
