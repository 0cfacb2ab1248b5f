#include "quarlo_host/runtime/heap_watch.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
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

struct live_block {
  uint32_t size;
  // Its number in the order blocks were handed out.
  uint64_t number;
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
  call_counts counts;
  uint32_t fail_at = 0;
  // Blocks handed out so far, numbering each one.
  uint64_t handed_out = 0;
  std::unordered_map<void*, live_block> live;
};

watch_state& state() {
  static auto* s = new watch_state;
  return *s;
}

// Counts one fallible call; true when it is the one armed to fail.
bool next_fails(watch_state& s) {
  ++s.counts.fallible;
  if (s.fail_at == 0 || s.counts.fallible != s.fail_at) return false;
  s.fail_at = 0;
  ++s.counts.failed;
  return true;
}

void* __cdecl hook_malloc(size_t size) {
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  ++s.counts.mallocs;
  if (next_fails(s)) return nullptr;
  void* block = s.real_malloc(size);
  if (block != nullptr) s.live[block] = {static_cast<uint32_t>(size), ++s.handed_out};
  return block;
}

void __cdecl hook_free(void* block) {
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  ++s.counts.frees;
  const auto it = block != nullptr ? s.live.find(block) : s.live.end();
  if (it != s.live.end()) {
    // Poisoned, so a call through an object after its last release crashes
    // on the spot instead of running on stale memory.
    std::memset(block, 0xDD, it->second.size);
    s.live.erase(it);
  } else if (block != nullptr) {
    ++s.counts.foreign;
  }
  s.real_free(block);
}

void* __cdecl hook_realloc(void* block, size_t size) {
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  ++s.counts.reallocs;
  // realloc(p, 0) frees and realloc(null, n) allocates; only a growing or
  // moving request can fail.
  if (size != 0 && next_fails(s)) return nullptr;
  const bool tracked = block == nullptr || s.live.count(block) != 0;
  if (!tracked) ++s.counts.foreign;
  void* moved = s.real_realloc(block, size);
  if (moved == nullptr && size != 0) return nullptr;
  // A block moved keeps its number: it was handed out when first allocated.
  uint64_t number = 0;
  if (block != nullptr) {
    const auto it = s.live.find(block);
    if (it != s.live.end()) {
      number = it->second.number;
      s.live.erase(it);
    }
  }
  if (moved != nullptr && tracked) {
    s.live[moved] = {static_cast<uint32_t>(size), number != 0 ? number : ++s.handed_out};
  }
  return moved;
}

size_t __cdecl hook_msize(void* block) {
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  ++s.counts.sizes;
  return s.real_msize(block);
}

void* __cdecl hook_expand(void* block, size_t size) {
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  ++s.counts.expands;
  if (next_fails(s)) return nullptr;
  void* same = s.real_expand(block, size);
  if (same != nullptr) {
    const auto it = s.live.find(block);
    if (it != s.live.end()) it->second.size = static_cast<uint32_t>(size);
  }
  return same;
}

bool is_crt(std::string_view dll) {
  return dll.size() == 10 && _strnicmp(dll.data(), "msvcrt.dll", 10) == 0;
}

}  // namespace

uint32_t install(HMODULE module) {
  auto& s = state();
  uint32_t patched = 0;
  visit_import_slots(module, [&](std::string_view dll, std::string_view name, void** slot) {
    if (!is_crt(dll)) return;
    void* hook = nullptr;
    std::lock_guard<std::mutex> hold(s.lock);
    if (name == "malloc") {
      s.real_malloc = reinterpret_cast<malloc_fn>(*slot);
      hook = reinterpret_cast<void*>(&hook_malloc);
    } else if (name == "realloc") {
      s.real_realloc = reinterpret_cast<realloc_fn>(*slot);
      hook = reinterpret_cast<void*>(&hook_realloc);
    } else if (name == "free") {
      s.real_free = reinterpret_cast<free_fn>(*slot);
      hook = reinterpret_cast<void*>(&hook_free);
    } else if (name == "_msize") {
      s.real_msize = reinterpret_cast<msize_fn>(*slot);
      hook = reinterpret_cast<void*>(&hook_msize);
    } else if (name == "_expand") {
      s.real_expand = reinterpret_cast<expand_fn>(*slot);
      hook = reinterpret_cast<void*>(&hook_expand);
    } else {
      return;
    }
    patch_import_slot(slot, hook);
    ++patched;
  });
  return patched;
}

void reset() {
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  s.counts = {};
  s.fail_at = 0;
}

void fail_at(uint32_t k) {
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  s.fail_at = k == 0 ? 0 : s.counts.fallible + k;
}

call_counts counts() {
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  return s.counts;
}

uint32_t live_blocks() {
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  return static_cast<uint32_t>(s.live.size());
}

uint64_t mark() {
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  return s.handed_out;
}

uint32_t live_blocks_since(uint64_t mark) {
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  uint32_t n = 0;
  for (const auto& entry : s.live) n += entry.second.number > mark ? 1 : 0;
  return n;
}

std::vector<uint32_t> live_sizes() {
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  std::vector<uint32_t> sizes;
  for (const auto& entry : s.live) sizes.push_back(entry.second.size);
  std::sort(sizes.begin(), sizes.end());
  return sizes;
}

}  // namespace quarlo_host::heap_watch
