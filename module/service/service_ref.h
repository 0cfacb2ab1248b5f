// A counted reference to a service object: one pointer, null when empty, owning
// one reference. It has a destructor of its own, so it is never trivially
// copyable and neither ABI passes it by value in a register: the GNU ABI passes
// the address of a copy the caller owns, the Microsoft ABI the object itself,
// which the callee destroys.
#pragma once

#include "service/service_base.h"

class service_ref {
 public:
  service_ref() = default;
  // Takes over other's reference; other ends empty, so nothing is released twice.
  service_ref(service_ref&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
  service_ref(const service_ref&) = delete;
  service_ref& operator=(const service_ref&) = delete;
  ~service_ref() { reset(); }

  // Releases what is held, stores p and adds a reference to it.
  void assign(service_base* p);
  // Takes over p, which already carries a counted reference; releases what was held.
  void adopt(service_base* p);
  // Releases what is held and leaves the reference empty.
  void reset() { adopt(nullptr); }
  // Hands the held reference to the caller and leaves this one empty, releasing nothing.
  service_base* detach() {
    service_base* p = object_;
    object_ = nullptr;
    return p;
  }

  service_base* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  service_base* object_ = nullptr;
};

static_assert(__is_standard_layout(service_ref), "service_ref is one pointer to the host");
static_assert(sizeof(service_ref) == sizeof(void*), "service_ref is one pointer to the host");
static_assert(!__is_trivially_copyable(service_ref),
              "a by-value service_ref must never travel in a register");
