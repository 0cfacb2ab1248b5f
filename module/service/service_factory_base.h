// A factory record: the host walks the chain of these from first_factory, reads
// each record's class and asks it for the instance. The layout is read by the host.
#pragma once

#include <stddef.h>

#include "host/guid.h"

class service_ref;

class service_factory_base {
 public:
  // 0: fills out with one counted reference to the record's service instance.
  virtual void make_instance(service_ref& out) = 0;

  // The next record of the chain; null at its end.
  service_factory_base* next;
  // The class GUID that this record's instances implement.
  const GUID* service_class;

 protected:
  service_factory_base(const GUID* service_class_guid, service_factory_base* next_record)
      : next(next_record), service_class(service_class_guid) {}
  ~service_factory_base() = default;
};

// Table pointer, next, class: 12 bytes on i686, as the host reads them.
static_assert(sizeof(service_factory_base) == 3 * sizeof(void*), "factory record size");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(service_factory_base, next) == sizeof(void*), "next follows the table");
static_assert(offsetof(service_factory_base, service_class) == 2 * sizeof(void*),
              "class follows next");
#pragma GCC diagnostic pop
