#include "quarlo_host/runtime/heap_watch.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "quarlo_host/runtime/import_slots.h"

namespace quarlo_host::heap_watch {

namespace {

using malloc_fn = void*(__cdecl*)(size_t);
using realloc_fn = void*(__cdecl*)(void*, size_t);
using free_fn = void(__cdecl*)(void*);
using msize_fn = size_t(__cdecl*)(void*);
using expand_fn = void*(__cdecl*)(void*, size_t);
using heap_alloc_fn = decltype(&HeapAlloc);
using heap_realloc_fn = decltype(&HeapReAlloc);
using heap_free_fn = decltype(&HeapFree);
using heap_size_fn = decltype(&HeapSize);
using local_alloc_fn = decltype(&LocalAlloc);
using local_realloc_fn = decltype(&LocalReAlloc);
using local_free_fn = decltype(&LocalFree);
using cotask_alloc_fn = void*(WINAPI*)(SIZE_T);
using cotask_realloc_fn = void*(WINAPI*)(void*, SIZE_T);
using cotask_free_fn = void(WINAPI*)(void*);

// The allocator a block came from, which takes it back.
enum class allocator { crt, heap, local, global, cotask };

struct origin {
  allocator from = allocator::crt;
  // The heap of HeapAlloc's blocks.
  HANDLE heap = nullptr;
};

// Static and never destroyed: a module's exit list may call the hooks during
// FreeLibrary at process end, after ordinary statics are gone.
struct watch_state {
  std::mutex lock;
  malloc_fn real_malloc = nullptr;
  realloc_fn real_realloc = nullptr;
  free_fn real_free = nullptr;
  msize_fn real_msize = nullptr;
  expand_fn real_expand = nullptr;
  heap_alloc_fn real_heap_alloc = nullptr;
  heap_realloc_fn real_heap_realloc = nullptr;
  heap_free_fn real_heap_free = nullptr;
  heap_size_fn real_heap_size = nullptr;
  local_alloc_fn real_local_alloc = nullptr;
  local_realloc_fn real_local_realloc = nullptr;
  local_free_fn real_local_free = nullptr;
  local_alloc_fn real_global_alloc = nullptr;
  local_realloc_fn real_global_realloc = nullptr;
  local_free_fn real_global_free = nullptr;
  cotask_alloc_fn real_cotask_alloc = nullptr;
  cotask_realloc_fn real_cotask_realloc = nullptr;
  cotask_free_fn real_cotask_free = nullptr;
  // Where each tracked block that is not the C runtime's came from.
  std::unordered_map<const void*, origin> origins;
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

// Asks the allocator of where for size bytes; flags are the caller's.
void* allocate(watch_state& s, const origin& where, size_t size, DWORD flags) {
  switch (where.from) {
    case allocator::crt:
      return s.real_malloc(size);
    case allocator::heap:
      return s.real_heap_alloc(where.heap, flags, size);
    case allocator::local:
      return s.real_local_alloc(flags, size);
    case allocator::global:
      return s.real_global_alloc(flags, size);
    case allocator::cotask:
      return s.real_cotask_alloc(size);
  }
  return nullptr;
}

// Gives a tracked block back to the allocator it came from.
void give_back(watch_state& s, void* block) {
  const auto found = s.origins.find(block);
  const origin where = found != s.origins.end() ? found->second : origin{};
  if (found != s.origins.end()) s.origins.erase(found);
  switch (where.from) {
    case allocator::crt:
      s.real_free(block);
      break;
    case allocator::heap:
      s.real_heap_free(where.heap, 0, block);
      break;
    case allocator::local:
      s.real_local_free(block);
      break;
    case allocator::global:
      s.real_global_free(block);
      break;
    case allocator::cotask:
      s.real_cotask_free(block);
      break;
  }
}

// A block of size with its guard after it, from where, recorded; null when
// the allocator has none, or size with the guard does not fit in 32 bits.
void* new_block(watch_state& s, size_t size, const origin& where = {}, DWORD flags = 0) {
  const size_t guard = s.ledger.guard();
  if (size > UINT32_MAX - guard) return nullptr;
  void* block = allocate(s, where, size + guard, flags);
  if (block == nullptr) return nullptr;
  s.ledger.record(block, static_cast<uint32_t>(size));
  if (where.from != allocator::crt) s.origins[block] = where;
  return block;
}

// A free of the module's: the block kept in the quarantine, and given back
// to its own allocator later. A pointer the watch never handed out is
// foreign_free's to judge.
template <class Foreign>
void free_block(watch_state& s, void* block, Foreign foreign_free) {
  if (block == nullptr) return;
  switch (s.ledger.retire(block)) {
    case heap_retired::give_back:
      give_back(s, block);
      break;
    case heap_retired::keep:
      break;
    case heap_retired::foreign:
      foreign_free();
      break;
  }
}

// The C heap's free: a pointer the watch never handed out goes to the C heap
// only when it is a block of its (one the module's start-up code allocated
// before the watch was there).
void free_crt_block(watch_state& s, void* block) {
  free_block(s, block, [&] {
    if (s.crt_heap != nullptr && !HeapValidate(s.crt_heap, 0, block)) {
      s.ledger.count_not_a_block();
    } else {
      s.real_free(block);
    }
  });
}

// A tracked block moved to a new block of size from where, its content
// copied and the rest zeroed when zero; the old one retired. Null when the
// allocator has no room.
void* move_block(watch_state& s, void* block, size_t size, const origin& where, DWORD flags,
                 bool zero) {
  const uint32_t old_size = s.ledger.find(block)->size;
  void* moved = new_block(s, size, where, flags);
  if (moved == nullptr) return nullptr;
  const size_t kept = old_size < size ? old_size : size;
  std::memcpy(moved, block, kept);
  if (zero && size > kept) std::memset(static_cast<char*>(moved) + kept, 0, size - kept);
  free_block(s, block, [] {});
  return moved;
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
    free_crt_block(s, block);
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
      free_crt_block(s, block);
      return nullptr;
    }
    // A tracked block always moves, and the old one goes to the quarantine,
    // so a pointer kept into it is caught.
    return move_block(s, block, size, {}, 0, false);
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

// The system's allocators, watched as the C heap is: counted, guarded,
// quarantined and able to fail. A failing HeapAlloc raises STATUS_NO_MEMORY
// where the caller asked for that, as the system's does.
void* WINAPI hook_heap_alloc(HANDLE heap, DWORD flags, SIZE_T size) {
  bool raise = false;
  void* block = locked([&](watch_state& s) -> void* {
    s.ledger.count(heap_call::malloc);
    if (s.ledger.next_fails()) {
      raise = (flags & HEAP_GENERATE_EXCEPTIONS) != 0;
      return nullptr;
    }
    return new_block(s, size, {allocator::heap, heap}, flags);
  });
  if (raise) RaiseException(STATUS_NO_MEMORY, 0, 0, nullptr);
  return block;
}

void* WINAPI hook_heap_realloc(HANDLE heap, DWORD flags, void* block, SIZE_T size) {
  return locked([&](watch_state& s) -> void* {
    s.ledger.count(heap_call::realloc);
    if (s.ledger.find(block) == nullptr) {
      s.ledger.count_foreign();
      return s.real_heap_realloc(heap, flags, block, size);
    }
    // A tracked block always moves: asked to stay, it cannot grow.
    if ((flags & HEAP_REALLOC_IN_PLACE_ONLY) != 0 || s.ledger.next_fails()) return nullptr;
    return move_block(s, block, size, {allocator::heap, heap}, flags,
                      (flags & HEAP_ZERO_MEMORY) != 0);
  });
}

BOOL WINAPI hook_heap_free(HANDLE heap, DWORD flags, void* block) {
  return locked([&](watch_state& s) {
    s.ledger.count(heap_call::free);
    BOOL freed = TRUE;
    free_block(s, block, [&] {
      if (HeapValidate(heap, 0, block)) {
        freed = s.real_heap_free(heap, flags, block);
      } else {
        s.ledger.count_not_a_block();
        SetLastError(ERROR_INVALID_PARAMETER);
        freed = FALSE;
      }
    });
    return freed;
  });
}

SIZE_T WINAPI hook_heap_size(HANDLE heap, DWORD flags, const void* block) {
  return locked([&](watch_state& s) -> SIZE_T {
    s.ledger.count(heap_call::size);
    const heap_block* known = s.ledger.find(block);
    return known != nullptr ? known->size : s.real_heap_size(heap, flags, block);
  });
}

// LocalAlloc and GlobalAlloc alike: a fixed block is watched, a movable one
// (a handle, not a pointer) passes through.
void* fixed_alloc(allocator from, local_alloc_fn real, UINT flags, SIZE_T size) {
  return locked([&](watch_state& s) -> void* {
    if ((flags & LMEM_MOVEABLE) != 0) return real(flags, size);
    s.ledger.count(heap_call::malloc);
    if (s.ledger.next_fails()) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    return new_block(s, size, {from}, flags);
  });
}

// A fixed block moves only where the caller allows it; it shrinks in place.
void* fixed_realloc(allocator from, local_realloc_fn real, void* block, SIZE_T size, UINT flags) {
  return locked([&](watch_state& s) -> void* {
    s.ledger.count(heap_call::realloc);
    heap_block* known = s.ledger.find(block);
    if (known == nullptr || (flags & LMEM_MODIFY) != 0) {
      if (known == nullptr) s.ledger.count_foreign();
      return real(block, size, flags);
    }
    if (size <= known->size) {
      s.ledger.check_guard(block);
      s.ledger.move(block, block, static_cast<uint32_t>(size));
      return block;
    }
    if ((flags & LMEM_MOVEABLE) == 0 || s.ledger.next_fails()) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    return move_block(s, block, size, {from}, LMEM_FIXED, (flags & LMEM_ZEROINIT) != 0);
  });
}

// Null once freed, the block itself when it was none.
void* fixed_free(local_free_fn real, void* block) {
  return locked([&](watch_state& s) -> void* {
    s.ledger.count(heap_call::free);
    void* left = nullptr;
    free_block(s, block, [&] { left = real(block); });
    return left;
  });
}

HLOCAL WINAPI hook_local_alloc(UINT flags, SIZE_T size) {
  return fixed_alloc(allocator::local, state().real_local_alloc, flags, size);
}
HLOCAL WINAPI hook_local_realloc(HLOCAL block, SIZE_T size, UINT flags) {
  return fixed_realloc(allocator::local, state().real_local_realloc, block, size, flags);
}
HLOCAL WINAPI hook_local_free(HLOCAL block) { return fixed_free(state().real_local_free, block); }
HGLOBAL WINAPI hook_global_alloc(UINT flags, SIZE_T size) {
  return fixed_alloc(allocator::global, state().real_global_alloc, flags, size);
}
HGLOBAL WINAPI hook_global_realloc(HGLOBAL block, SIZE_T size, UINT flags) {
  return fixed_realloc(allocator::global, state().real_global_realloc, block, size, flags);
}
HGLOBAL WINAPI hook_global_free(HGLOBAL block) {
  return fixed_free(state().real_global_free, block);
}

void* WINAPI hook_cotask_alloc(SIZE_T size) {
  return locked([&](watch_state& s) -> void* {
    s.ledger.count(heap_call::malloc);
    if (s.ledger.next_fails()) return nullptr;
    return new_block(s, size, {allocator::cotask});
  });
}

void* WINAPI hook_cotask_realloc(void* block, SIZE_T size) {
  return locked([&](watch_state& s) -> void* {
    s.ledger.count(heap_call::realloc);
    if (size != 0 && s.ledger.next_fails()) return nullptr;
    if (block == nullptr) return new_block(s, size, {allocator::cotask});
    if (s.ledger.find(block) == nullptr) {
      s.ledger.count_foreign();
      return s.real_cotask_realloc(block, size);
    }
    if (size == 0) {
      free_block(s, block, [] {});
      return nullptr;
    }
    return move_block(s, block, size, {allocator::cotask}, 0, false);
  });
}

void WINAPI hook_cotask_free(void* block) {
  locked([&](watch_state& s) {
    s.ledger.count(heap_call::free);
    free_block(s, block, [&] { s.real_cotask_free(block); });
  });
}

// f from dll, where no slot gave it (a module may free what it never
// allocated itself, or the other way round).
template <class F>
void resolve(F& f, const wchar_t* dll, const char* name) {
  if (f != nullptr) return;
  const HMODULE loaded = GetModuleHandleW(dll);
  if (loaded != nullptr) {
    f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(loaded, name)));
  }
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
    uint32_t patched = hook_imports(module, "msvcrt.dll",
                                    {typed_hook("malloc", &hook_malloc, s.real_malloc),
                                     typed_hook("realloc", &hook_realloc, s.real_realloc),
                                     typed_hook("free", &hook_free, s.real_free),
                                     typed_hook("_msize", &hook_msize, s.real_msize),
                                     typed_hook("_expand", &hook_expand, s.real_expand)});
    patched +=
        hook_imports(module, "kernel32.dll",
                     {typed_hook("HeapAlloc", &hook_heap_alloc, s.real_heap_alloc),
                      typed_hook("HeapReAlloc", &hook_heap_realloc, s.real_heap_realloc),
                      typed_hook("HeapFree", &hook_heap_free, s.real_heap_free),
                      typed_hook("HeapSize", &hook_heap_size, s.real_heap_size),
                      typed_hook("LocalAlloc", &hook_local_alloc, s.real_local_alloc),
                      typed_hook("LocalReAlloc", &hook_local_realloc, s.real_local_realloc),
                      typed_hook("LocalFree", &hook_local_free, s.real_local_free),
                      typed_hook("GlobalAlloc", &hook_global_alloc, s.real_global_alloc),
                      typed_hook("GlobalReAlloc", &hook_global_realloc, s.real_global_realloc),
                      typed_hook("GlobalFree", &hook_global_free, s.real_global_free)});
    patched +=
        hook_imports(module, "ole32.dll",
                     {typed_hook("CoTaskMemAlloc", &hook_cotask_alloc, s.real_cotask_alloc),
                      typed_hook("CoTaskMemRealloc", &hook_cotask_realloc, s.real_cotask_realloc),
                      typed_hook("CoTaskMemFree", &hook_cotask_free, s.real_cotask_free)});
    // A block goes back to its own allocator, whatever the module imports.
    resolve(s.real_heap_free, L"kernel32.dll", "HeapFree");
    resolve(s.real_local_free, L"kernel32.dll", "LocalFree");
    resolve(s.real_global_free, L"kernel32.dll", "GlobalFree");
    resolve(s.real_cotask_free, L"ole32.dll", "CoTaskMemFree");
    if (s.real_free != nullptr && s.crt_heap == nullptr) {
      s.crt_heap = heap_of(reinterpret_cast<void*>(s.real_free));
    }
    return patched;
  });
}

std::vector<heap_fault> take_faults() {
  return locked([](watch_state& s) {
    for (void* block : s.ledger.check_and_release_quarantine()) give_back(s, block);
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
