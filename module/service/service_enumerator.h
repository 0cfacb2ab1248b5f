// A walk over the host's instances of one service class, by index 0, 1, 2, ...
// until the first false. Lives on the caller's stack.
#pragma once

#include <stdint.h>

#include "host/guid.h"
#include "host/host_api.h"
#include "service/service_ref.h"

class service_enumerator {
 public:
  // Asks the host for the class handle once.
  service_enumerator(host_api& host, const GUID& service_class);

  // True: out now holds the instance at index (what it held is released).
  // False: no instance there; out is unchanged and any stray object is released.
  bool next(service_ref& out, uint32_t index);

 private:
  host_api* host_;
  uint32_t class_handle_;
};
