#include "quarlo_host/ui/command_menu.h"

#include <algorithm>

#include "quarlo_host/runtime/host_string.h"
#include "quarlo_host/ui/menu_groups.h"

namespace quarlo_host {
namespace {

struct ranked_command {
  uint32_t priority;
  menu_command command;
};

}  // namespace

std::vector<service_ref> find_command_groups(module_client& client) {
  std::vector<service_ref> groups;
  for (service_factory_base* f = client.first_factory(); f != nullptr; f = f->next) {
    if (f->service_class == nullptr ||
        !quarlo::guid_equal(*f->service_class, mainmenu_commands::class_guid))
      continue;
    service_ref instance;
    f->make_instance(instance);
    if (instance) groups.push_back(std::move(instance));
  }
  return groups;
}

std::vector<menu_popup> build_command_menu(const std::vector<service_ref>& groups) {
  std::vector<GUID> parents;
  std::vector<std::vector<ranked_command>> ranked;
  for (const service_ref& ref : groups) {
    // The factory's class says the instance is a mainmenu_commands; single
    // inheritance keeps the object at the same address.
    auto* group = static_cast<mainmenu_commands*>(ref.get());
    const GUID parent = group->parent_group();
    const uint32_t priority = group->sort_priority();
    auto at = std::find_if(parents.begin(), parents.end(),
                           [&](const GUID& g) { return quarlo::guid_equal(g, parent); });
    if (at == parents.end()) {
      parents.push_back(parent);
      ranked.emplace_back();
      at = parents.end() - 1;
    }
    auto& commands = ranked[static_cast<size_t>(at - parents.begin())];
    const uint32_t count = group->command_count();
    for (uint32_t i = 0; i < count; ++i) {
      host_string text;
      uint32_t flags = 0;
      if (!group->display_state(i, text, flags)) continue;
      std::string name = text.text();
      if (name.empty()) {
        host_string fallback;
        group->command_name(i, fallback);
        name = fallback.text();
      }
      commands.push_back({priority, {group, i, group->command_guid(i), std::move(name), flags}});
    }
  }

  // The host's own groups first, in its order; others after, as they appeared.
  std::vector<size_t> order(parents.size());
  for (size_t p = 0; p < order.size(); ++p) order[p] = p;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return menu_group_rank(parents[a]) < menu_group_rank(parents[b]);
  });
  std::vector<menu_popup> popups;
  for (size_t p : order) {
    if (ranked[p].empty()) continue;
    // Stable: commands of equal priority keep the module's order.
    std::stable_sort(
        ranked[p].begin(), ranked[p].end(),
        [](const ranked_command& a, const ranked_command& b) { return a.priority < b.priority; });
    menu_popup popup{parents[p], parent_group_label(parents[p]), {}};
    for (auto& r : ranked[p]) popup.commands.push_back(std::move(r.command));
    popups.push_back(std::move(popup));
  }
  return popups;
}

}  // namespace quarlo_host
