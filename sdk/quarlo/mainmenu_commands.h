// A group of main-menu commands a module offers the host.
#pragma once

#include <stdint.h>

#include "quarlo/guid.h"
#include "quarlo/service_base.h"
#include "quarlo/service_ref.h"
#include "quarlo/string_base.h"

class mainmenu_commands : public service_base {
 public:
  // {35077B8C-6E70-47BA-B9DD-D51500E12F2E}
  static constexpr GUID class_guid = {
      0x35077B8C, 0x6E70, 0x47BA, {0xB9, 0xDD, 0xD5, 0x15, 0x00, 0xE1, 0x2F, 0x2E}};

  // 3: how many commands the group holds.
  virtual uint32_t command_count() = 0;
  // 4: the command's GUID; the null GUID for an index out of range.
  virtual GUID command_guid(uint32_t index) = 0;
  // 5: writes the command's name into out.
  virtual void command_name(uint32_t index, trel::string_base& out) = 0;
  // 6: true with the description written into out when the command has one.
  virtual bool command_description(uint32_t index, trel::string_base& out) = 0;
  // 7: the GUID of the menu group the commands sit in.
  virtual GUID parent_group() = 0;
  // 8: the group's place among its siblings.
  virtual uint32_t sort_priority() = 0;
  // 9: true to show the command, with its menu text in text and its flags in flags.
  virtual bool display_state(uint32_t index, trel::string_base& text, uint32_t& flags) = 0;
  // 10: runs the command; the callee releases callback and leaves it empty.
  virtual void run_command(uint32_t index, service_ref callback) = 0;

 protected:
  ~mainmenu_commands() = default;
};
