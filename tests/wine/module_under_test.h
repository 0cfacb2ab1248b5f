// The build of tamsel.dll a host-driven suite runs against. ctest runs each
// suite once per ABI and names the DLL in TAMSEL_MODULE; without it the
// suite takes the tamsel.dll beside it.
#pragma once

#include <stdlib.h>

#include <string>

#include "quarlo/shared_text.h"
#include "quarlo_host/core/module_abi.h"
#include "quarlo_host/runtime/host_files.h"

inline std::string module_under_test() {
  const char* path = getenv("TAMSEL_MODULE");
  return path != nullptr && *path != '\0' ? path : "tamsel.dll";
}

// The build of the other ABI, from TAMSEL_OTHER_MODULE; empty when not named.
inline std::string other_module_under_test() {
  const char* path = getenv("TAMSEL_OTHER_MODULE");
  return path != nullptr ? path : "";
}

inline quarlo_host::module_abi abi_under_test() {
  return quarlo_host::detect_abi(quarlo_host::read_pe_file(module_under_test()));
}

// A time limit of seconds for what the test runs, as text: longer by
// TAMSEL_TIME_FACTOR where the tests' build found Wine slower than natively
// (under full emulation, ten times).
inline std::string time_limit(int seconds) {
  const char* factor = getenv("TAMSEL_TIME_FACTOR");
  const int f = factor != nullptr ? atoi(factor) : 1;
  return std::to_string(seconds * (f > 1 ? f : 1));
}

// The folder of the module under test, with its separator ("" for the tests' own).
inline std::string folder_under_test() {
  const std::string path = module_under_test();
  return path.substr(0, path.find_last_of("\\/") + 1);
}

// A test-only checker module of the ABI under test, by its planted fault.
inline std::string checker_module(const std::string& fault) {
  return folder_under_test() + "checker_modules/checker_" + fault + ".dll";
}

// The text functions of a quarlo_shared.dll: the one loaded for the module
// under test, or the file beside it.
struct shared_text_functions {
  decltype(&uGetDlgItemText) get_text = nullptr;
  decltype(&uSetDlgItemTextEx) set_text = nullptr;
};

inline shared_text_functions shared_text_of(HMODULE shared) {
  shared_text_functions f;
  if (shared == nullptr) return f;
  f.get_text = reinterpret_cast<decltype(&uGetDlgItemText)>(
      reinterpret_cast<void*>(GetProcAddress(shared, "uGetDlgItemText")));
  f.set_text = reinterpret_cast<decltype(&uSetDlgItemTextEx)>(
      reinterpret_cast<void*>(GetProcAddress(shared, "uSetDlgItemTextEx")));
  return f;
}
