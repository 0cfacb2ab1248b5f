// A module loaded by path and entered, in its own C++ ABI: LoadLibrary (the
// module's own folder searched first for what it needs), optionally the heap
// watch, GetProcAddress("quarlo_get_interface") and the call with the host's
// host_api and the module's instance handle. A GNU-ABI module is called
// directly; a Microsoft-ABI one through the bridge (bridge_client), so either
// way the host sees a module_client of its own ABI. Unloads when it ends.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "quarlo/host_api.h"
#include "quarlo/module_client.h"
#include "quarlo_host/core/module_abi.h"
#include "quarlo_host/runtime/unique_module.h"

namespace quarlo_host {

class bridge_client;

class module_error final : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a loader may do between the steps of loading a module.
struct load_observer {
  // The image is mapped and its imports bound; its start-up code (DllMain,
  // static constructors) has not run.
  std::function<void(HMODULE)> mapped;
  // The start-up code has run; quarlo_get_interface has not been called.
  std::function<void(HMODULE)> started;
  // About to be freed: its code is still mapped.
  std::function<void(HMODULE)> unloading;
};

class loaded_module final {
 public:
  // Throws module_error when the DLL cannot be loaded, lacks the entry or
  // returns no client. watch_heap installs the heap watch before the entry
  // runs. abi, when given, overrides the ABI found from the module's imports.
  // quarlo_shared.dll of the module's ABI is loaded first: the one beside the
  // module, else the host's own (msvc\ beside the program for that ABI).
  loaded_module(std::string_view path, host_api& host, bool watch_heap = false,
                std::optional<module_abi> abi = std::nullopt, const load_observer& observer = {});
  loaded_module(const loaded_module&) = delete;
  loaded_module& operator=(const loaded_module&) = delete;
  ~loaded_module();

  module_client& client() const { return *client_; }
  module_abi abi() const { return abi_; }
  HMODULE handle() const { return module_.get(); }
  // Calls the module's entry again with host; the client it returns.
  module_client* enter(host_api& host);
  // Heap imports the watch redirected (0 without the watch).
  uint32_t watched_imports() const { return watched_imports_; }
  // FreeLibrary now; the client must not be used afterwards.
  void unload();

 private:
  module_abi abi_;
  unique_module shared_library_;
  std::unique_ptr<bridge_client> bridge_;
  unique_module module_;
  void* entry_ = nullptr;
  module_client* client_ = nullptr;
  uint32_t watched_imports_ = 0;
  std::function<void(HMODULE)> unloading_;
  // Exceptions in flight when it was loaded: one more at its end may be the
  // module's own.
  int uncaught_ = std::uncaught_exceptions();
};

}  // namespace quarlo_host
