#include "dll_detector.h"

bool load_dll_detector(const std::string& path, dll_detector&, std::string& error) {
  error = "cannot load " + path + ": DLLs exist only in the Windows build";
  return false;
}
