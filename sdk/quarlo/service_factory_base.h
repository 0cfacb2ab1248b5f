// A factory record as a module lays it out: table pointer, next record, class.
#pragma once

#include "quarlo/guid.h"
#include "quarlo/service_ref.h"

class service_factory_base {
 public:
  // 0: fills out with one counted reference to the record's service instance.
  virtual void make_instance(service_ref& out) = 0;

  // The next record of the module's chain; null ends it.
  service_factory_base* next;
  // The class GUID the record's instances implement; owned by the module.
  const GUID* service_class;

 protected:
  ~service_factory_base() = default;
};

static_assert(sizeof(service_factory_base) == 3 * sizeof(void*),
              "a factory record starts with table, next and class");
