// What the PE reader throws for an image it cannot read: the text says why.
#pragma once

#include <stdexcept>

namespace quarlo_host {

class pe_error final : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace quarlo_host
