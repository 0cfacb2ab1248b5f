// A factory record for service class S that links itself in at the head of
// factory_list when constructed; records thus stand in reverse construction order.
#pragma once

#include "entry/module_globals.h"
#include "service/service_factory_base.h"

template <class S>
class service_factory_base_t : public service_factory_base {
 protected:
  service_factory_base_t() : service_factory_base(&S::class_guid, factory_list) {
    factory_list = this;
  }
  ~service_factory_base_t() = default;
};
