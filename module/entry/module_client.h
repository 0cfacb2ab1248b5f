// The client object the host receives from quarlo_get_interface. Slot order is
// part of the contract with the host; the module has one static instance.
#pragma once

#include <stdint.h>

#include "host/abort_signal.h"
#include "host/byte_sink.h"
#include "host/byte_source.h"

class service_factory_base;

class module_client {
 public:
  // The version of the contract with the host, which client_version answers.
  static constexpr uint32_t contract_version = 71;

  // 0: the client version, always contract_version.
  virtual uint32_t client_version() = 0;
  // 1: the head of factory_list; null when no factory is registered.
  virtual service_factory_base* first_factory() = 0;
  // 2: writes every registered setting as one record each; exceptions pass out.
  virtual void save_settings(byte_sink& sink, abort_signal& abort) = 0;
  // 3: reads records until the source ends; skips records of unknown settings.
  virtual void load_settings(byte_source& source, abort_signal& abort) = 0;
  // 4: copies the two NUL-terminated texts; throws std::bad_alloc, and the text
  //    being assigned then keeps its previous value.
  virtual void set_location_texts(const char* text1, const char* text2) = 0;
  // 5: stores the services flag; a true also sets services_were_ready for good.
  virtual void services_ready(bool ready) = 0;
  // 6: false: this is a release build.
  virtual bool debug_build() = 0;

 protected:
  ~module_client() = default;
};

// The host reads the object as one pointer to its table of seven slots.
static_assert(sizeof(module_client) == sizeof(void*), "module_client is only its table pointer");

// The module's single client.
module_client& the_module_client();
