// One persistent value of the module, linked into settings_list. Its record in
// the settings stream is tagged with guid; the payload format is its own.
#pragma once

#include <stdint.h>

#include "host/abort_signal.h"
#include "host/byte_sink.h"
#include "host/byte_source.h"
#include "host/guid.h"

class settings_var {
 public:
  // 0: writes the value's payload into out.
  virtual void write_value(byte_sink& out, abort_signal& abort) = 0;
  // 1: reads the value back from in, which yields at most length bytes (the
  //    record's payload); short data is reported as exception_io_data.
  virtual void read_value(byte_source& in, uint32_t length, abort_signal& abort) = 0;

  // The record tag.
  const GUID guid;
  // The next setting of settings_list; null on the last.
  settings_var* next = nullptr;

 protected:
  explicit settings_var(const GUID& id) : guid(id) {}
  settings_var(const settings_var&) = delete;
  settings_var& operator=(const settings_var&) = delete;
  ~settings_var() = default;
};
