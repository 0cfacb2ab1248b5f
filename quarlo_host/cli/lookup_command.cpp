#include "quarlo_host/cli/lookup_command.h"

#include <exception>
#include <memory>

#include <CLI/CLI.hpp>

#include "quarlo_host/cli/commands.h"
#include "quarlo_host/cli/shared_options.h"
#include "quarlo_host/runtime/host_api_impl.h"
#include "quarlo_host/runtime/loaded_module.h"
#include "quarlo_host/runtime/utf.h"
#include "quarlo_host/ui/command_menu.h"
#include "quarlo_host/ui/dialog_script.h"
#include "quarlo_host/ui/main_window.h"
#include "quarlo_host/ui/window_bitmap.h"

namespace quarlo_host {
namespace {

struct dialog_fields {
  std::string input;
  std::string guid;
  std::string result;
  bool screenshot_saved = false;
};

const menu_command* find_lookup(const std::vector<menu_popup>& popups) {
  for (const auto& popup : popups)
    for (const auto& command : popup.commands)
      if (quarlo::guid_equal(command.guid, lookup_command_guid)) return &command;
  return nullptr;
}

// What a user does at the dialog: type, read, maybe Update, maybe a picture, Close.
dialog_script make_script(const host_options& options, dialog_fields& fields) {
  dialog_script script;
  script.type(lookup_input_id, to_wide(options.text));
  script.inspect([&fields](HWND dialog) {
    fields.input = control_text(dialog, lookup_input_id);
    fields.guid = control_text(dialog, lookup_guid_id);
  });
  if (options.update) script.click(lookup_update_id);
  script.inspect(
      [&fields](HWND dialog) { fields.result = control_text(dialog, lookup_result_id); });
  if (!options.screenshot.empty()) {
    script.inspect([&fields, path = options.screenshot](HWND dialog) {
      fields.screenshot_saved = save_window_bitmap(dialog, path);
    });
  }
  script.click(lookup_close_id);
  return script;
}

int lookup(const host_options& options, std::ostream& out, std::ostream& err) {
  service_registry registry;
  if (!add_services_from(options.services, registry, err)) return 1;
  host_api_impl host(registry);
  dialog_fields fields;
  try {
    main_window window(std::vector<menu_popup>{});
    host.set_main_window(window.handle());
    loaded_module module(options.module, host, false, options.abi);
    const std::vector<service_ref> groups = find_command_groups(module.client());
    const std::vector<menu_popup> popups = build_command_menu(groups);
    const menu_command* command = find_lookup(popups);
    if (command == nullptr) {
      err << "quarlo_host: " << options.module << " offers no lookup command\n";
      return 1;
    }
    dialog_script script = make_script(options, fields);
    window.drive_dialogs(&script);
    window.run(*command);
    window.drive_dialogs(nullptr);
    if (!script.finished()) {
      err << "quarlo_host: the lookup command opened no dialog\n";
      return 1;
    }
    if (window.abandoned_dialogs() != 0) {
      err << "quarlo_host: the dialog did not close when asked\n";
      return 1;
    }
  } catch (const std::exception& e) {
    err << "quarlo_host: " << e.what() << "\n";
    return 1;
  }
  out << "Input: " << fields.input << "\nGUID: " << fields.guid << "\nResult: " << fields.result
      << "\n";
  if (!options.screenshot.empty() && !fields.screenshot_saved) {
    err << "quarlo_host: cannot save the picture to " << options.screenshot << "\n";
    return 1;
  }
  return leak_status(registry, err);
}

}  // namespace

command_action define_lookup(CLI::App& parser) {
  auto options = std::make_shared<host_options>();
  add_host_options(parser, *options, true);
  return [options](std::ostream& out, std::ostream& err) { return lookup(*options, out, err); };
}

}  // namespace quarlo_host
