// A factory record followed directly by its one embedded service object.
#pragma once

#include "service/service_factory_base_t.h"
#include "service/service_impl_single_t.h"
#include "service/service_ref.h"

template <class T>
class service_factory_single_t : public service_factory_base_t<typename T::service_interface> {
 public:
  void make_instance(service_ref& out) override { out.assign(&instance_); }

 protected:
  ~service_factory_single_t() = default;

 private:
  service_impl_single_t<T> instance_;
};
