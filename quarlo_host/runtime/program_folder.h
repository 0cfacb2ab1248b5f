// Where the running program's file lies, for the files that ship beside it.
#pragma once

#include <string>

namespace quarlo_host {

// The folder of the running program, with a trailing backslash.
std::wstring program_folder();

}  // namespace quarlo_host
