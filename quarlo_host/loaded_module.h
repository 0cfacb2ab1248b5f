// A module loaded by path and entered: LoadLibrary, optionally the heap watch,
// GetProcAddress("quarlo_get_interface") and the call with the host's host_api
// and the module's instance handle. Unloads when it ends.
#pragma once

#include <stdexcept>
#include <string_view>

#include "quarlo/host_api.h"
#include "quarlo/module_client.h"
#include "quarlo_host/unique_module.h"

namespace quarlo_host {

class module_error final : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class loaded_module final {
 public:
  // Throws module_error when the DLL cannot be loaded, lacks the entry or
  // returns no client. watch_heap installs the heap watch before the entry runs.
  loaded_module(std::string_view path, host_api& host, bool watch_heap = false);

  module_client& client() const { return *client_; }
  HMODULE handle() const { return module_.get(); }
  // Heap imports the watch redirected (0 without the watch).
  uint32_t watched_imports() const { return watched_imports_; }
  // FreeLibrary now; the client must not be used afterwards.
  void unload() { module_.reset(); }

 private:
  unique_module module_;
  module_client* client_ = nullptr;
  uint32_t watched_imports_ = 0;
};

}  // namespace quarlo_host
