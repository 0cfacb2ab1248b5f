// The module's command group: the single command "Tamsel Tool", which opens the
// lookup dialog owned by the host's main window.
#pragma once

#include <stdint.h>

#include "host/guid.h"
#include "lookup/mainmenu_commands.h"

class mainmenu_commands_lookup : public mainmenu_commands {
 public:
  // {099F8FD0-D915-407B-87F8-839C2BA3F401}
  static constexpr GUID command_guid_0 = {
      0x099F8FD0, 0xD915, 0x407B, {0x87, 0xF8, 0x83, 0x9C, 0x2B, 0xA3, 0xF4, 0x01}};
  // {F8BE5604-165F-4BB9-B6A9-15E55E0E0D3A}
  static constexpr GUID parent_group_guid = {
      0xF8BE5604, 0x165F, 0x4BB9, {0xB6, 0xA9, 0x15, 0xE5, 0x5E, 0x0E, 0x0D, 0x3A}};
  static constexpr uint32_t priority = 0x80000000u;
  static constexpr const char* command_name_0 = "Tamsel Tool";

  uint32_t command_count() override;
  GUID command_guid(uint32_t index) override;
  void command_name(uint32_t index, trel::string_base& out) override;
  bool command_description(uint32_t index, trel::string_base& out) override;
  GUID parent_group() override;
  uint32_t sort_priority() override;
  bool display_state(uint32_t index, trel::string_base& text, uint32_t& flags) override;
  void run_command(uint32_t index, service_ref callback) override;

 protected:
  ~mainmenu_commands_lookup() = default;
};
