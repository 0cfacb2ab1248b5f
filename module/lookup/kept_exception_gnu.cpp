// The GNU build keeps the exception as the C++ library's exception_ptr.
#include <exception>

#include "lookup/kept_exception.h"

namespace {

std::exception_ptr kept;

}  // namespace

bool run_keeping_exception(void (*work)(void* context), void* context) {
  try {
    work(context);
    return true;
  } catch (...) {
    if (!kept) kept = std::current_exception();
    return false;
  }
}

void throw_kept_exception() {
  if (!kept) return;
  const std::exception_ptr failure = kept;
  kept = nullptr;
  std::rethrow_exception(failure);
}
