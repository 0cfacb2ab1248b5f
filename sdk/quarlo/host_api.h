// What the host offers a module: service lookup by class and index, and its
// main window. Handed to quarlo_get_interface; lives as long as the module.
#pragma once

#include <stdint.h>

#include "quarlo/guid.h"
#include "quarlo/service_ref.h"
#include "quarlo/win32.h"

class host_api {
 public:
  // 0: an opaque handle for a service class, only ever passed back to create.
  virtual uint32_t find_class(const GUID& service_class) = 0;
  // 1: true: out (its old object released) holds one counted reference to the
  //    instance at index. False: no instance there; indexes are dense from 0.
  virtual bool create(service_ref& out, uint32_t class_handle, uint32_t index) = 0;
  // 2: reserved; never called.
  virtual void reserved_slot_2() = 0;
  // 3: the owner window for a module's modal dialogs; may be null.
  virtual HWND main_window() = 0;

 protected:
  ~host_api() = default;
};
