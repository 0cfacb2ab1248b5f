// The client object a module returns from quarlo_get_interface.
#pragma once

#include <stdint.h>

#include "quarlo/abort_signal.h"
#include "quarlo/byte_sink.h"
#include "quarlo/byte_source.h"
#include "quarlo/service_factory_base.h"

class module_client {
 public:
  // The version of the contract, which client_version answers.
  static constexpr uint32_t contract_version = 71;

  // 0: the module's client version, contract_version.
  virtual uint32_t client_version() = 0;
  // 1: the head of the module's factory chain; null when it offers nothing.
  virtual service_factory_base* first_factory() = 0;
  // 2: writes the module's settings into sink; exceptions pass to the host.
  virtual void save_settings(byte_sink& sink, abort_signal& abort) = 0;
  // 3: reads settings back until source ends (its exception_io_data ends loading).
  virtual void load_settings(byte_source& source, abort_signal& abort) = 0;
  // 4: hands over two NUL-terminated UTF-8 texts the module copies; may throw bad_alloc.
  virtual void set_location_texts(const char* text1, const char* text2) = 0;
  // 5: tells whether the host's services are available.
  virtual void services_ready(bool ready) = 0;
  // 6: true for a debug build of the module.
  virtual bool debug_build() = 0;

 protected:
  ~module_client() = default;
};
