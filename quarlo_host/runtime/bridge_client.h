// A Microsoft-ABI module as the host drives it: through quarlo_msvc_bridge.dll,
// which calls the module's slots in the module's ABI. The module's objects
// reach the host as objects of the host's own ABI that forward every slot to
// the bridge, and the host's objects reach the module the same way round.
// Exceptions keep their class across: the module's come out as the host's
// std::bad_alloc and quarlo_io family, and an exception of the host's that
// passed through the module comes out as the very same exception.
#pragma once

#include <memory>
#include <stdexcept>

#include "quarlo/host_api.h"
#include "quarlo/module_client.h"
#include "quarlo/win32.h"

namespace quarlo_host {

// An exception of the module's of a class the host does not share: a
// std::exception of its own (what it says is kept) or no std::exception at all.
class module_exception final : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class bridge_client final {
 public:
  // Loads the bridge from msvc\ beside the program, once per process (it
  // stays loaded); throws module_error when it is missing or of another make.
  bridge_client();
  bridge_client(const bridge_client&) = delete;
  bridge_client& operator=(const bridge_client&) = delete;
  // Frees the objects standing for the module's; the module must not be used afterwards.
  ~bridge_client();

  // Calls entry, the module's quarlo_get_interface, with host; returns the
  // module's client, which stays valid as long as this object.
  module_client* enter(void* entry, host_api& host, HINSTANCE instance);

  class proxies;

 private:
  std::unique_ptr<proxies> proxies_;
};

}  // namespace quarlo_host
