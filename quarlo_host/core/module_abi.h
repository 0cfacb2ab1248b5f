// The C++ ABI a module was built for. A host can drive a module only in the
// module's own ABI: they disagree on GUID results, by-value service_ref
// arguments and exceptions.
#pragma once

#include <string_view>

#include "quarlo_host/core/pe_image.h"

namespace quarlo_host {

enum class module_abi { gnu, msvc };

// "gnu" or "msvc".
const char* abi_name(module_abi abi);
// Reads "gnu" or "msvc"; false for anything else.
bool parse_abi(std::string_view text, module_abi& out);

// A GNU-ABI module imports the shared unwinder or the GNU C++ runtime, without
// which its exceptions could not cross to the host. Every other module is
// taken for the Microsoft ABI, that of hosts built with Microsoft's compiler.
module_abi detect_abi(const pe_listing& image);

}  // namespace quarlo_host
