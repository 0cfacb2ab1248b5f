#include "support/recording_dialog.h"

#include <utility>

#include "lookup/lookup_dialog.h"

namespace {

uint32_t run_count = 0;
HINSTANCE module_seen = nullptr;
HWND owner_seen = nullptr;
std::function<void()> open_hook;
std::exception_ptr pending_failure;

}  // namespace

namespace recording_dialog {

void reset() {
  run_count = 0;
  module_seen = nullptr;
  owner_seen = nullptr;
  open_hook = nullptr;
  pending_failure = nullptr;
}

uint32_t runs() { return run_count; }
HINSTANCE last_module() { return module_seen; }
HWND last_owner() { return owner_seen; }
void while_open(std::function<void()> hook) { open_hook = std::move(hook); }
void end_with(std::exception_ptr failure) { pending_failure = std::move(failure); }

}  // namespace recording_dialog

void run_lookup_dialog(HINSTANCE module, HWND owner) {
  ++run_count;
  module_seen = module;
  owner_seen = owner;
  if (open_hook) open_hook();
  if (pending_failure) std::rethrow_exception(std::exchange(pending_failure, nullptr));
}
