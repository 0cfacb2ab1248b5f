#include "quarlo_host/ui/menu_groups.h"

#include <cstdio>

namespace quarlo_host {

const std::vector<menu_group>& host_menu_groups() {
  static const std::vector<menu_group> groups = {
      {{0xAFDD3C4A, 0xE9B4, 0x41D4, {0x8D, 0xCF, 0x33, 0x97, 0x4A, 0x7D, 0x0D, 0x76}}, "&File"},
      {{0x4A3F2252, 0xD65D, 0x4BFA, {0x82, 0x08, 0xF3, 0xEB, 0xDE, 0x75, 0xD1, 0x5E}}, "&Edit"},
      {{0xDF32892B, 0xE2C4, 0x4B84, {0x8B, 0x47, 0x58, 0x18, 0xA6, 0x23, 0x90, 0xD6}}, "&View"},
      // The group the lookup command appears under.
      {{0xF8BE5604, 0x165F, 0x4BB9, {0xB6, 0xA9, 0x15, 0xE5, 0x5E, 0x0E, 0x0D, 0x3A}}, "&Tools"},
      {{0xFF7149B2, 0x92F6, 0x424E, {0x95, 0x7C, 0x7D, 0x21, 0x53, 0x2E, 0x3C, 0x75}}, "&Help"},
  };
  return groups;
}

size_t menu_group_rank(const GUID& parent) {
  const auto& groups = host_menu_groups();
  for (size_t i = 0; i < groups.size(); ++i) {
    if (quarlo::guid_equal(groups[i].guid, parent)) return i;
  }
  return groups.size();
}

std::string parent_group_label(const GUID& parent) {
  const size_t rank = menu_group_rank(parent);
  if (rank < host_menu_groups().size()) return host_menu_groups()[rank].title;
  char label[16];
  std::snprintf(label, sizeof label, "Group %08lX", static_cast<unsigned long>(parent.Data1));
  return label;
}

}  // namespace quarlo_host
