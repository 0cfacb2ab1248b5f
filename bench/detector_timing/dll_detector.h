// The detector of another build, from its guid_detector.dll, loaded by path.
// It stays loaded until the program ends.
#pragma once

#include <stdint.h>

#include <string>

struct dll_detector {
  // The offset of the detector's run in a NUL-terminated text, or -1.
  int32_t (*find)(const char* text) = nullptr;
  // What built the DLL, as in the timing lines' build records.
  std::string build;
};

// Loads the DLL at path; false with error set when it cannot (always, where
// there are no DLLs).
bool load_dll_detector(const std::string& path, dll_detector& out, std::string& error);
