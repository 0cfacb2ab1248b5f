#include "service/service_ref.h"

void service_ref::assign(service_base* p) {
  if (p == object_) {
    // Adding before releasing keeps the object alive when this was its last reference.
    if (p != nullptr) {
      p->add_ref();
      p->release();
    }
    return;
  }
  if (object_ != nullptr) object_->release();
  object_ = p;
  if (p != nullptr) p->add_ref();
}

void service_ref::adopt(service_base* p) {
  service_base* old = object_;
  object_ = nullptr;
  if (old != nullptr) old->release();
  object_ = p;
}
