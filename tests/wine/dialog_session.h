// A fixture for the module's lookup dialog, worked as a user would. Each test
// loads the built tamsel.dll with the heap watch and a host of counted
// named_service objects; the host's main window owns the dialog and hands its
// idle turns to a dialog_script. Every DialogBoxParamW result of the module is
// recorded through its import table. After unloading, every block the module
// allocated must be freed and every reference it took returned.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "heap_after_unload.h"
#include "module_under_test.h"
#include "quarlo/host_api.h"
#include "quarlo/named_service.h"
#include "quarlo_host/cli/lookup_command.h"
#include "quarlo_host/runtime/heap_watch.h"
#include "quarlo_host/runtime/import_slots.h"
#include "quarlo_host/runtime/loaded_module.h"
#include "quarlo_host/runtime/utf.h"
#include "quarlo_host/ui/command_menu.h"
#include "quarlo_host/ui/dialog_script.h"
#include "quarlo_host/ui/main_window.h"
#include "support/reference_count.h"

// A service object of the host's that counts the references the module takes
// and returns; the host keeps it for the whole test.
template <class Interface>
class counted : public Interface {
 public:
  uint32_t release() override { return count_.release(); }
  uint32_t add_ref() override { return count_.add_ref(); }
  bool query(service_ref&, const GUID&) override { return false; }

  uint32_t references() const { return count_.references(); }
  uint32_t releases() const { return count_.releases(); }
  uint32_t add_refs() const { return count_.add_refs(); }

 protected:
  ~counted() = default;

 private:
  reference_count count_{0, reference_count::kept};
};

// A named_service that counts how the module treats it.
class counted_service final : public counted<named_service> {
 public:
  counted_service(const GUID& guid, std::string name) : guid_(guid), name_(std::move(name)) {}

  void reserved_slot_3() override { ++reserved_calls; }
  const char* service_name() override { return name_.c_str(); }
  GUID service_guid() override { return guid_; }
  const std::string& name() const { return name_; }

  uint32_t fetches = 0;
  uint32_t reserved_calls = 0;

 private:
  GUID guid_;
  std::string name_;
};

// A reference the host passes to run_command; counts what the module does with it.
class counted_callback final : public counted<service_base> {};

// host_api over a list of counted services, fetched by index.
class counting_host final : public host_api {
 public:
  static constexpr uint32_t named_handle = 0x4E53;

  uint32_t find_class(const GUID& service_class) override {
    ++find_class_calls;
    return quarlo::guid_equal(service_class, named_service::class_guid) ? named_handle : 0;
  }
  bool create(service_ref& out, uint32_t class_handle, uint32_t index) override {
    ++create_calls;
    if (throw_at_index && *throw_at_index == index) throw std::runtime_error("host create failed");
    if (class_handle != named_handle || index >= services.size()) return false;
    ++services[index]->fetches;
    out.assign(services[index]);
    return true;
  }
  void reserved_slot_2() override { ++reserved_calls; }
  HWND main_window() override { return window; }

  std::vector<counted_service*> services;
  HWND window = nullptr;
  uint32_t find_class_calls = 0;
  uint32_t create_calls = 0;
  uint32_t reserved_calls = 0;
  // create at this index throws std::runtime_error.
  std::optional<uint32_t> throw_at_index;
};

// The results of the module's DialogBoxParamW calls, in order.
inline std::vector<INT_PTR>& dialog_results() {
  static std::vector<INT_PTR> results;
  return results;
}

inline INT_PTR WINAPI recording_dialog_box(HINSTANCE instance, LPCWSTR name, HWND owner,
                                           DLGPROC procedure, LPARAM parameter) {
  const INT_PTR result = DialogBoxParamW(instance, name, owner, procedure, parameter);
  dialog_results().push_back(result);
  return result;
}

// Points the module's import of name from dll at hook; false when it has none.
inline bool patch_import(HMODULE module, const char* dll, const char* name, void* hook) {
  bool patched = false;
  quarlo_host::visit_import_slots(
      module, [&](std::string_view import_dll, std::string_view import_name, void** slot) {
        if (import_name != name || lstrcmpiA(std::string(import_dll).c_str(), dll) != 0) return;
        DWORD old = 0;
        if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old)) return;
        *slot = hook;
        VirtualProtect(slot, sizeof(void*), old, &old);
        patched = true;
      });
  return patched;
}

struct dialog_session : ::testing::Test {
  void SetUp() override {
    quarlo_host::heap_watch::reset();
    blocks_at_start = quarlo_host::heap_watch::live_blocks();
    dialog_results().clear();
    window.emplace(std::vector<quarlo_host::menu_popup>{});
    host.window = window->handle();
    load();
  }

  void TearDown() override {
    unload();
    window.reset();
    for (const counted_service* s : host.services) {
      EXPECT_EQ(s->references(), 0u) << s->name() << ": references not returned";
      EXPECT_EQ(s->reserved_calls, 0u);
    }
    EXPECT_EQ(host.reserved_calls, 0u);
  }

  // Loads tamsel.dll with the heap watch and finds its lookup command; the
  // dialog's static state starts afresh.
  void load() {
    module.emplace(module_under_test(), host, true);
    ASSERT_TRUE(patch_import(module->handle(), "user32.dll", "DialogBoxParamW",
                             reinterpret_cast<void*>(&recording_dialog_box)));
    groups = quarlo_host::find_command_groups(module->client());
    popups = quarlo_host::build_command_menu(groups);
    for (const auto& popup : popups)
      for (const auto& command : popup.commands)
        if (quarlo::guid_equal(command.guid, quarlo_host::lookup_command_guid)) lookup = command;
    ASSERT_NE(lookup.group, nullptr) << "tamsel.dll offers no lookup command";
  }

  // Unloads tamsel.dll and expects every block it allocated freed.
  void unload() {
    lookup = {};
    popups.clear();
    groups.clear();
    module.reset();
    EXPECT_EQ(GetModuleHandleW(L"tamsel.dll"), nullptr) << "tamsel.dll still loaded";
    expect_heap_clean_after_unload(blocks_at_start);
  }

  // Runs the lookup command with script working the dialog, passing callback
  // (with one reference) as run_command's argument. Returns when run_command does.
  void open(quarlo_host::dialog_script& script, service_base* callback = nullptr) {
    service_ref argument;
    argument.assign(callback);
    window->drive_dialogs(&script);
    lookup.group->run_command(lookup.index, std::move(argument));
    window->drive_dialogs(nullptr);
    EXPECT_TRUE(script.finished()) << "the script did not run to its end";
    EXPECT_EQ(window->abandoned_dialogs(), 0u) << "the dialog outlived the script";
  }

  // The three fields as the script saw them at one point.
  struct fields {
    std::string input;
    std::string guid;
    std::string result;
  };
  static quarlo_host::dialog_script::action read_into(fields& out) {
    return [&out](HWND dialog) {
      out.input = quarlo_host::control_text(dialog, quarlo_host::lookup_input_id);
      out.guid = quarlo_host::control_text(dialog, quarlo_host::lookup_guid_id);
      out.result = quarlo_host::control_text(dialog, quarlo_host::lookup_result_id);
    };
  }

  counting_host host;
  std::optional<quarlo_host::main_window> window;
  std::optional<quarlo_host::loaded_module> module;
  std::vector<service_ref> groups;
  std::vector<quarlo_host::menu_popup> popups;
  quarlo_host::menu_command lookup;
  uint32_t blocks_at_start = 0;
};
