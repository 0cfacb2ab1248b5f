#include "quarlo_host/checker/check_session.h"

#include <random>
#include <set>

namespace quarlo_host {

factory_walk walk_factories(module_client& client) {
  factory_walk walk;
  std::set<service_factory_base*> seen;
  for (auto* f = client.first_factory(); f != nullptr; f = f->next) {
    if (walk.records.size() == max_factories || !seen.insert(f).second) {
      walk.looped = true;
      break;
    }
    walk.records.push_back(f);
  }
  return walk;
}

GUID unknown_class(uint32_t seed) {
  std::mt19937 random(seed);
  GUID guid{static_cast<uint32_t>(random()), 0xC4EC, 0x4E11, {}};
  for (auto& b : guid.Data4) b = static_cast<uint8_t>(random());
  return guid;
}

check_session::check_session(const check_context& context, const load_observer& observer)
    : host_(registry_), module_(context.module_path, host_, true, context.abi, observer) {
  registry_.add({0x5EED0001, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}}, "checker service");
}

const std::vector<service_ref>& check_session::command_groups() {
  if (groups_made_) return groups_;
  groups_made_ = true;
  const factory_walk walk = walk_factories(client());
  for (service_factory_base* f : walk.records) {
    if (f->service_class == nullptr ||
        !quarlo::guid_equal(*f->service_class, mainmenu_commands::class_guid)) {
      continue;
    }
    service_ref instance;
    f->make_instance(instance);
    if (instance) groups_.push_back(std::move(instance));
  }
  return groups_;
}

}  // namespace quarlo_host
