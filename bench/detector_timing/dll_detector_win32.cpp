#include "dll_detector.h"

#include <windows.h>

#include "guid_detector_dll.h"

namespace {

template <class F>
F find_export(HMODULE dll, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

}  // namespace

bool load_dll_detector(const std::string& path, dll_detector& out, std::string& error) {
  const HMODULE dll = LoadLibraryA(path.c_str());
  if (dll == nullptr) {
    error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  const auto find = find_export<decltype(&guid_detector_find)>(dll, "guid_detector_find");
  const auto build = find_export<decltype(&guid_detector_build)>(dll, "guid_detector_build");
  if (find == nullptr || build == nullptr) {
    FreeLibrary(dll);
    error = path + " lacks guid_detector_find or guid_detector_build";
    return false;
  }
  out.find = find;
  out.build = build();
  return true;
}
