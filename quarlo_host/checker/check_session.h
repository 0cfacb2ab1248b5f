// What a case drives: the module loaded with the heap watch into a host with
// a few named services, and the module's own objects reached through counted
// references the session owns, so no object is called after its last release.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quarlo/guid.h"
#include "quarlo/mainmenu_commands.h"
#include "quarlo/service_ref.h"
#include "quarlo_host/checker/check_case.h"
#include "quarlo_host/checker/check_host.h"
#include "quarlo_host/runtime/loaded_module.h"
#include "quarlo_host/runtime/service_registry.h"

namespace quarlo_host {

// A factory chain longer than this is taken for a loop.
constexpr uint32_t max_factories = 1000;

// The factory records along the chain, stopping at a record seen before or
// after max_factories; looped tells which.
struct factory_walk {
  std::vector<service_factory_base*> records;
  bool looped = false;
};
factory_walk walk_factories(module_client& client);

// A class GUID no module implements, from a seed.
GUID unknown_class(uint32_t seed);

class check_session final {
 public:
  explicit check_session(const check_context& context, const load_observer& observer = {});
  check_session(const check_session&) = delete;
  check_session& operator=(const check_session&) = delete;

  module_client& client() { return module_.client(); }
  loaded_module& module() { return module_; }
  service_registry& registry() { return registry_; }
  check_host& host() { return host_; }

  // One counted reference on each mainmenu_commands instance of the chain,
  // made once and held until the session ends.
  const std::vector<service_ref>& command_groups();
  // The group a reference holds, through which it is called.
  static mainmenu_commands& group(const service_ref& ref) {
    return *static_cast<mainmenu_commands*>(ref.get());
  }

 private:
  service_registry registry_;
  check_host host_;
  loaded_module module_;
  // After the module: the references go back before it unloads.
  std::vector<service_ref> groups_;
  bool groups_made_ = false;
};

}  // namespace quarlo_host
