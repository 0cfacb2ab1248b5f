#include "quarlo_host/runtime/heap_watch.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string_view>

#include "quarlo_host/runtime/import_slots.h"

namespace quarlo_host::heap_watch {

namespace {

using malloc_fn = void*(__cdecl*)(size_t);
using realloc_fn = void*(__cdecl*)(void*, size_t);
using free_fn = void(__cdecl*)(void*);
using msize_fn = size_t(__cdecl*)(void*);
using expand_fn = void*(__cdecl*)(void*, size_t);

// Static and never destroyed: a module's exit list may call the hooks during
// FreeLibrary at process end, after ordinary statics are gone.
struct watch_state {
  std::mutex lock;
  malloc_fn real_malloc = nullptr;
  realloc_fn real_realloc = nullptr;
  free_fn real_free = nullptr;
  msize_fn real_msize = nullptr;
  expand_fn real_expand = nullptr;
  // The C runtime's heap, which says whether a pointer is a block of its.
  HANDLE crt_heap = nullptr;
  // Freed blocks poisoned, so a call through an object after its last
  // release crashes on the spot instead of running on stale memory, and kept
  // aside until the case looks at them; guard bytes after every block.
  heap_ledger ledger{{0xDD, 16, true}};
};

watch_state& state() {
  static auto* s = new watch_state;
  return *s;
}

// Runs work on the state under its lock; one heap call at a time.
template <class Work>
auto locked(Work work) {
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  return work(s);
}

// A block of size with its guard after it, recorded; null when the C heap has
// none, or size with the guard does not fit in a size_t.
void* new_block(watch_state& s, size_t size) {
  const size_t guard = s.ledger.guard();
  if (size > UINT32_MAX - guard) return nullptr;
  void* block = s.real_malloc(size + guard);
  if (block != nullptr) s.ledger.record(block, static_cast<uint32_t>(size));
  return block;
}

// A free of the module's, the block kept in the quarantine; a pointer the
// watch never handed out goes to the C heap only when it is a block of its
// (one the module's start-up code allocated before the watch was there).
void free_block(watch_state& s, void* block) {
  if (block == nullptr) return;
  switch (s.ledger.retire(block)) {
    case heap_retired::give_back:
      s.real_free(block);
      break;
    case heap_retired::keep:
      break;
    case heap_retired::foreign:
      if (s.crt_heap != nullptr && !HeapValidate(s.crt_heap, 0, block)) {
        s.ledger.count_not_a_block();
      } else {
        s.real_free(block);
      }
      break;
  }
}

void* __cdecl hook_malloc(size_t size) {
  return locked([&](watch_state& s) -> void* {
    s.ledger.count(heap_call::malloc);
    if (s.ledger.next_fails()) return nullptr;
    return new_block(s, size);
  });
}

void __cdecl hook_free(void* block) {
  locked([&](watch_state& s) {
    s.ledger.count(heap_call::free);
    free_block(s, block);
  });
}

void* __cdecl hook_realloc(void* block, size_t size) {
  return locked([&](watch_state& s) -> void* {
    s.ledger.count(heap_call::realloc);
    // realloc(p, 0) frees and realloc(null, n) allocates; only a growing or
    // moving request can fail.
    if (size != 0 && s.ledger.next_fails()) return nullptr;
    const heap_block* known = block != nullptr ? s.ledger.find(block) : nullptr;
    if (block == nullptr) return new_block(s, size);
    if (known == nullptr) {
      // A block of the start-up code's passes through, untracked from now on.
      s.ledger.count_foreign();
      return s.real_realloc(block, size);
    }
    if (size == 0) {
      free_block(s, block);
      return nullptr;
    }
    // A tracked block always moves, and the old one goes to the quarantine,
    // so a pointer kept into it is caught.
    const uint32_t old_size = known->size;
    void* moved = new_block(s, size);
    if (moved == nullptr) return nullptr;
    std::memcpy(moved, block, old_size < size ? old_size : size);
    free_block(s, block);
    return moved;
  });
}

size_t __cdecl hook_msize(void* block) {
  return locked([&](watch_state& s) {
    s.ledger.count(heap_call::size);
    const heap_block* known = s.ledger.find(block);
    return known != nullptr ? static_cast<size_t>(known->size) : s.real_msize(block);
  });
}

void* __cdecl hook_expand(void* block, size_t size) {
  return locked([&](watch_state& s) -> void* {
    s.ledger.count(heap_call::expand);
    if (s.ledger.next_fails()) return nullptr;
    if (s.ledger.find(block) == nullptr) return s.real_expand(block, size);
    const size_t guard = s.ledger.guard();
    if (size > UINT32_MAX - guard) return nullptr;
    s.ledger.check_guard(block);
    void* same = s.real_expand(block, size + guard);
    if (same != nullptr) s.ledger.move(block, same, static_cast<uint32_t>(size));
    return same;
  });
}

// The heap of the msvcrt.dll that real_free lies in.
HANDLE heap_of(void* real_free) {
  HMODULE crt = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(real_free), &crt)) {
    return nullptr;
  }
  using heap_handle_fn = intptr_t(__cdecl*)();
  const auto heap_handle = reinterpret_cast<heap_handle_fn>(
      reinterpret_cast<void*>(GetProcAddress(crt, "_get_heap_handle")));
  return heap_handle != nullptr ? reinterpret_cast<HANDLE>(heap_handle()) : nullptr;
}

}  // namespace

uint32_t install(HMODULE module) {
  return locked([module](watch_state& s) {
    const uint32_t patched = hook_imports(
        module, "msvcrt.dll",
        {{"malloc", reinterpret_cast<void*>(&hook_malloc),
          reinterpret_cast<void**>(&s.real_malloc)},
         {"realloc", reinterpret_cast<void*>(&hook_realloc),
          reinterpret_cast<void**>(&s.real_realloc)},
         {"free", reinterpret_cast<void*>(&hook_free), reinterpret_cast<void**>(&s.real_free)},
         {"_msize", reinterpret_cast<void*>(&hook_msize), reinterpret_cast<void**>(&s.real_msize)},
         {"_expand", reinterpret_cast<void*>(&hook_expand),
          reinterpret_cast<void**>(&s.real_expand)}});
    if (s.real_free != nullptr && s.crt_heap == nullptr) {
      s.crt_heap = heap_of(reinterpret_cast<void*>(s.real_free));
    }
    return patched;
  });
}

std::vector<heap_fault> take_faults() {
  return locked([](watch_state& s) {
    for (void* block : s.ledger.check_and_release_quarantine()) s.real_free(block);
    std::vector<heap_fault> faults = s.ledger.faults();
    s.ledger.clear_faults();
    return faults;
  });
}

void reset() {
  locked([](watch_state& s) { s.ledger.reset(); });
}

void fail_at(uint32_t k) {
  locked([k](watch_state& s) { s.ledger.fail_at(k); });
}

call_counts counts() {
  return locked([](watch_state& s) { return s.ledger.counts(); });
}

uint32_t live_blocks() {
  return locked([](watch_state& s) { return s.ledger.live_blocks(); });
}

uint64_t mark() {
  return locked([](watch_state& s) { return s.ledger.mark(); });
}

uint32_t live_blocks_since(uint64_t mark) {
  return locked([mark](watch_state& s) { return s.ledger.live_blocks_since(mark); });
}

std::vector<uint32_t> live_sizes() {
  return locked([](watch_state& s) { return s.ledger.live_sizes(); });
}

}  // namespace quarlo_host::heap_watch
