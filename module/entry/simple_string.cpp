#include "entry/simple_string.h"

#include <stdint.h>
#include <string.h>
#include <new>

#include "entry/resize_block.h"
#include "trel/alloc.h"
#include "trel/heap.h"

namespace {

// A temporary copy of a text, freed on every way out.
class owned_copy final {
 public:
  owned_copy(const char* text, size_t length)
      : block_(static_cast<char*>(trel::alloc_or_throw(static_cast<uint32_t>(length + 1)))) {
    memcpy(block_, text, length + 1);
  }
  owned_copy(const owned_copy&) = delete;
  owned_copy& operator=(const owned_copy&) = delete;
  ~owned_copy() { trel::heap::release(block_); }

  const char* text() const { return block_; }

 private:
  char* block_;
};

}  // namespace

simple_string::~simple_string() { trel::heap::release(block_); }

void simple_string::assign_text(const char* text) {
  if (text == nullptr) text = "";
  if (block_ != nullptr) {
    // The source lies inside the held text (its NUL included): resizing the
    // block could move or cut it, so assign from a copy instead.
    const char* end = block_ + strlen(block_);
    const auto at = reinterpret_cast<uintptr_t>(text);
    if (at >= reinterpret_cast<uintptr_t>(block_) && at <= reinterpret_cast<uintptr_t>(end)) {
      const owned_copy copy(text, static_cast<size_t>(end - text));
      assign_text(copy.text());
      return;
    }
  }
  const size_t n = strlen(text);
  if (n >= UINT32_MAX) throw std::bad_alloc();
  if (n == 0) {
    trel::heap::release(block_);
    block_ = nullptr;
    return;
  }
  char* resized = static_cast<char*>(resize_block(block_, static_cast<uint32_t>(n + 1)));
  memcpy(resized, text, n);
  resized[n] = '\0';
  block_ = resized;
}
