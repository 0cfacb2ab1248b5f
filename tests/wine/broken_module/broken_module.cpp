// A deliberately broken module for testing the checker: each fault below
// should make exactly the check cases named beside it fail or crash.
#include <cstdint>
#include <cstdlib>

#include "quarlo/mainmenu_commands.h"
#include "quarlo/module_entry.h"

namespace {

class broken_group final : public mainmenu_commands {
 public:
  uint32_t release() override { return 1; }
  uint32_t add_ref() override { return 1; }
  // factories.chain: does not answer its own class.
  bool query(service_ref&, const GUID&) override { return false; }
  uint32_t command_count() override { return 1; }
  GUID command_guid(uint32_t) override { return {0xB0, 0, 0, {0}}; }
  // commands.slots: the command has no name.
  void command_name(uint32_t, trel::string_base& out) override { out.assign_text("", 0); }
  bool command_description(uint32_t, trel::string_base&) override { return false; }
  GUID parent_group() override { return quarlo::null_guid; }
  uint32_t sort_priority() override { return 0; }
  bool display_state(uint32_t, trel::string_base&, uint32_t& flags) override {
    flags = 0;
    return true;
  }
  // commands.run_releases: keeps an extra reference to the callback.
  void run_command(uint32_t, service_ref callback) override {
    if (callback) callback.get()->add_ref();
  }
};

broken_group group;

class broken_factory final : public service_factory_base {
 public:
  broken_factory() {
    next = nullptr;
    service_class = &mainmenu_commands::class_guid;
  }
  void make_instance(service_ref& out) override { out.assign(&group); }
};

broken_factory factory;

class broken_client final : public module_client {
 public:
  // client.version: counts up on every call.
  uint32_t client_version() override { return ++version_; }
  service_factory_base* first_factory() override { return &factory; }
  // settings.round_trip: every save differs from the one before.
  void save_settings(byte_sink& sink, abort_signal& abort) override {
    ++saves_;
    sink.write(&saves_, sizeof saves_, abort);
  }
  // settings.empty_stream, truncated_header, random_bytes: a stream that is not
  // the last save writes through a null pointer.
  void load_settings(byte_source& source, abort_signal& abort) override {
    uint32_t value = 0;
    uint32_t got = 0;
    for (uint32_t n = 1; got < 4 && n != 0; got += n) {
      n = source.read(reinterpret_cast<char*>(&value) + got, 4 - got, abort);
    }
    if (got == 4 && value == saves_) return;
    volatile uint32_t* nowhere = nullptr;
    *nowhere = value;
  }
  // location.texts and unload.heap: leaks a block per call. location.alloc_failure:
  // ignores a failed allocation instead of throwing.
  void set_location_texts(const char*, const char*) override { leaked_ = std::malloc(16); }
  void services_ready(bool) override {}
  // client.debug_flag: a debug build.
  bool debug_build() override { return true; }

 private:
  uint32_t version_ = 0;
  uint32_t saves_ = 0;
  void* leaked_ = nullptr;
};

broken_client client;

}  // namespace

// entry.exports: a second export beside the entry.
extern "C" __declspec(dllexport) int __cdecl broken_extra_export() { return 0; }

extern "C" __declspec(dllexport) module_client* __cdecl quarlo_get_interface(host_api*, HINSTANCE) {
  return &client;
}
