// A host exception thrown into the module. The host stopped it at the
// boundary and keeps it under a token; here it becomes an exception of the
// most derived class both sides know (so the module's catch clauses see what
// they would have seen), carrying the token and the message. When it leaves
// the module again, the bridge hands back the token and the host throws its
// own exception again, unchanged.
#pragma once

#include <stdint.h>

#include <exception>

#include "bridge_abi/bridge_abi.h"

namespace msvc_bridge {

// The part every carried exception has, by which the bridge recognises one.
class host_token {
 public:
  explicit host_token(const bridge_failure& failure) : failure_(failure) {
    failure_.message[sizeof failure_.message - 1] = '\0';
  }
  // The host's record of the exception, token included.
  const bridge_failure& failure() const { return failure_; }
  const char* message() const { return failure_.message; }

 private:
  bridge_failure failure_;
};

// Base is the class the module may catch it as; Base() must exist.
template <class Base>
class carried final : public Base, public host_token {
 public:
  explicit carried(const bridge_failure& failure) : Base(), host_token(failure) {}
  const char* what() const noexcept override { return message(); }
};

// A host exception of no class the module knows: only a catch of everything sees it.
class carried_unknown final : public host_token {
 public:
  using host_token::host_token;
};

// Throws the host's failure into the module.
[[noreturn]] void throw_host_failure(const bridge_failure& failure);

}  // namespace msvc_bridge
