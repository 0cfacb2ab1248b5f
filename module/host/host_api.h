// The host's service lookup and main window, handed to quarlo_get_interface.
#pragma once

#include <stdint.h>

#include "host/guid.h"
#include "host/win_types.h"

class service_ref;

class host_api {
 public:
  // 0: an opaque handle for a service class, only ever passed back to create.
  virtual uint32_t find_class(const GUID& service_class) = 0;
  // 1: true: out holds one counted reference to the instance at index. False:
  //    no instance there (indexes are dense from 0); out may still hold an object.
  virtual bool create(service_ref& out, uint32_t class_handle, uint32_t index) = 0;
  // 2: reserved; the module never calls it.
  virtual void reserved_slot_2() = 0;
  // 3: the owner window for the module's modal dialog.
  virtual HWND main_window() = 0;

 protected:
  ~host_api() = default;
};
