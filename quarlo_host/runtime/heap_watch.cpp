#include "quarlo_host/runtime/heap_watch.h"

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
  // Freed blocks poisoned, so a call through an object after its last
  // release crashes on the spot instead of running on stale memory.
  heap_ledger ledger{0xDD};
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

void* __cdecl hook_malloc(size_t size) {
  return locked([&](watch_state& s) -> void* {
    s.ledger.count(heap_call::malloc);
    if (s.ledger.next_fails()) return nullptr;
    void* block = s.real_malloc(size);
    if (block != nullptr) s.ledger.record(block, static_cast<uint32_t>(size));
    return block;
  });
}

void __cdecl hook_free(void* block) {
  locked([&](watch_state& s) {
    s.ledger.count(heap_call::free);
    if (block != nullptr) s.ledger.retire(block);
    s.real_free(block);
  });
}

void* __cdecl hook_realloc(void* block, size_t size) {
  return locked([&](watch_state& s) -> void* {
    s.ledger.count(heap_call::realloc);
    // realloc(p, 0) frees and realloc(null, n) allocates; only a growing or
    // moving request can fail.
    if (size != 0 && s.ledger.next_fails()) return nullptr;
    const bool tracked = block == nullptr || s.ledger.find(block) != nullptr;
    if (!tracked) s.ledger.count_foreign();
    void* moved = s.real_realloc(block, size);
    if (moved == nullptr && size != 0) return nullptr;
    if (block != nullptr && moved != nullptr && tracked) {
      s.ledger.move(block, moved, static_cast<uint32_t>(size));
    } else if (block != nullptr) {
      s.ledger.forget(block);
    } else if (moved != nullptr) {
      s.ledger.record(moved, static_cast<uint32_t>(size));
    }
    return moved;
  });
}

size_t __cdecl hook_msize(void* block) {
  return locked([&](watch_state& s) {
    s.ledger.count(heap_call::size);
    return s.real_msize(block);
  });
}

void* __cdecl hook_expand(void* block, size_t size) {
  return locked([&](watch_state& s) -> void* {
    s.ledger.count(heap_call::expand);
    if (s.ledger.next_fails()) return nullptr;
    void* same = s.real_expand(block, size);
    heap_block* known = same != nullptr ? s.ledger.find(block) : nullptr;
    if (known != nullptr) known->size = known->room = static_cast<uint32_t>(size);
    return same;
  });
}

}  // namespace

uint32_t install(HMODULE module) {
  return locked([module](watch_state& s) {
    return hook_imports(
        module, "msvcrt.dll",
        {{"malloc", reinterpret_cast<void*>(&hook_malloc),
          reinterpret_cast<void**>(&s.real_malloc)},
         {"realloc", reinterpret_cast<void*>(&hook_realloc),
          reinterpret_cast<void**>(&s.real_realloc)},
         {"free", reinterpret_cast<void*>(&hook_free), reinterpret_cast<void**>(&s.real_free)},
         {"_msize", reinterpret_cast<void*>(&hook_msize), reinterpret_cast<void**>(&s.real_msize)},
         {"_expand", reinterpret_cast<void*>(&hook_expand),
          reinterpret_cast<void**>(&s.real_expand)}});
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
