#include "entry/module_client.h"

#include "entry/module_globals.h"
#include "settings/settings_io.h"

namespace {

// The client has no data of its own: every slot works on the module globals.
class tamsel_client final : public module_client {
 public:
  uint32_t client_version() override { return contract_version; }
  service_factory_base* first_factory() override { return factory_list; }
  void save_settings(byte_sink& sink, abort_signal& abort) override {
    ::save_settings(sink, abort);
  }
  void load_settings(byte_source& source, abort_signal& abort) override {
    ::load_settings(source, abort);
  }
  void set_location_texts(const char* text1, const char* text2) override {
    location_text_1.assign_text(text1);
    location_text_2.assign_text(text2);
  }
  void services_ready(bool ready) override {
    services_flag = ready ? 1 : 0;
    if (ready) services_were_ready = 1;
  }
  bool debug_build() override { return false; }
};

tamsel_client client;

}  // namespace

module_client& the_module_client() { return client; }
