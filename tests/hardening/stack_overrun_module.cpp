// A test-only Microsoft-ABI module with one deliberate fault: loading settings
// copies a name of the stream's own stated length into a 16-byte buffer on the
// stack without checking it. Built with stack protection, the copy overwrites
// the frame's cookie and the function's return ends the process with a
// fail-fast instead of returning into overwritten code.
#include <stdint.h>
#include <string.h>

#include "quarlo/module_entry.h"

namespace {

// The saved name: longer than the loader's buffer.
constexpr uint8_t saved_name_length = 64;

class overrun_client final : public module_client {
 public:
  uint32_t client_version() override { return 1; }
  service_factory_base* first_factory() override { return nullptr; }
  void save_settings(byte_sink& sink, abort_signal& abort) override {
    char name[saved_name_length];
    memset(name, 'n', sizeof name);
    sink.write(&saved_name_length, 1, abort);
    sink.write(name, sizeof name, abort);
  }
  void load_settings(byte_source& source, abort_signal& abort) override {
    uint8_t length = 0;
    if (source.read(&length, 1, abort) != 1) return;
    source.read(staged_, length, abort);
    copy_name(length);
  }
  void set_location_texts(const char*, const char*) override {}
  void services_ready(bool) override {}
  bool debug_build() override { return false; }

 private:
  // The fault: length is not checked against the buffer.
  [[gnu::noinline]] void copy_name(uint8_t length) {
    char name[16];
    memcpy(name, staged_, length);
    // The copy must happen: the buffer counts as read.
    asm volatile("" : : "r"(name) : "memory");
  }

  char staged_[256] = {};
};

overrun_client client;

}  // namespace

extern "C" __declspec(dllexport) module_client* __cdecl quarlo_get_interface(host_api*, HINSTANCE) {
  return &client;
}
