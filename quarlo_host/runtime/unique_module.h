// Owns an HMODULE: FreeLibrary runs exactly once, when the owner ends or resets.
#pragma once

#include <utility>

#include "quarlo/win32.h"

namespace quarlo_host {

class unique_module final {
 public:
  unique_module() = default;
  explicit unique_module(HMODULE module) : module_(module) {}
  unique_module(unique_module&& other) noexcept : module_(other.release()) {}
  unique_module& operator=(unique_module&& other) noexcept {
    reset(other.release());
    return *this;
  }
  unique_module(const unique_module&) = delete;
  unique_module& operator=(const unique_module&) = delete;
  ~unique_module() { reset(); }

  HMODULE get() const { return module_; }
  explicit operator bool() const { return module_ != nullptr; }
  // Gives up ownership without unloading.
  HMODULE release() { return std::exchange(module_, nullptr); }
  // Unloads what is held, then holds module.
  void reset(HMODULE module = nullptr) {
    const HMODULE old = std::exchange(module_, module);
    if (old != nullptr) FreeLibrary(old);
  }

 private:
  HMODULE module_ = nullptr;
};

}  // namespace quarlo_host
