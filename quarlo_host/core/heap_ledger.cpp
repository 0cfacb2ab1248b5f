#include "quarlo_host/core/heap_ledger.h"

#include <algorithm>
#include <cstring>

namespace quarlo_host {

void heap_ledger::count(heap_call kind) {
  // In the order of heap_call.
  static constexpr uint32_t heap_call_counts::*fields[] = {
      &heap_call_counts::mallocs, &heap_call_counts::reallocs, &heap_call_counts::frees,
      &heap_call_counts::sizes, &heap_call_counts::expands};
  ++(counts_.*fields[static_cast<size_t>(kind)]);
}

bool heap_ledger::next_fails() {
  if (suspended_ > 0) return false;
  ++counts_.fallible;
  const bool armed = !fail_all_ && fail_at_ != 0 && counts_.fallible == fail_at_;
  if (armed) fired_ = true;
  if (!armed && !fail_all_) return false;
  ++counts_.failed;
  return true;
}

void heap_ledger::fail_at(uint32_t k) {
  fail_at_ = k == 0 ? 0 : counts_.fallible + k;
  fired_ = false;
}

void heap_ledger::fail_all(bool on) { fail_all_ = on; }

void heap_ledger::reset() {
  counts_ = {};
  fail_at_ = 0;
  fired_ = false;
  fail_all_ = false;
}

void heap_ledger::record(const void* block, uint32_t size, uint32_t room) {
  blocks_[block] = {size, room, ++recorded_};
}

void heap_ledger::move(const void* from, const void* to, uint32_t size) {
  const auto it = blocks_.find(from);
  const uint64_t order = it != blocks_.end() ? it->second.order : ++recorded_;
  if (it != blocks_.end()) blocks_.erase(it);
  blocks_[to] = {size, size, order};
}

heap_block* heap_ledger::find(const void* block) {
  const auto it = blocks_.find(block);
  return it == blocks_.end() ? nullptr : &it->second;
}

bool heap_ledger::forget(const void* block) { return blocks_.erase(block) != 0; }

bool heap_ledger::retire(void* block) {
  const auto it = blocks_.find(block);
  if (it == blocks_.end()) {
    ++counts_.foreign;
    return false;
  }
  if (poison_) std::memset(block, *poison_, it->second.size);
  blocks_.erase(it);
  return true;
}

uint64_t heap_ledger::live_bytes() const {
  uint64_t bytes = 0;
  for (const auto& entry : blocks_) bytes += entry.second.size;
  return bytes;
}

uint32_t heap_ledger::live_blocks_since(uint64_t mark) const {
  uint32_t n = 0;
  for (const auto& entry : blocks_) n += entry.second.order > mark ? 1 : 0;
  return n;
}

std::vector<uint32_t> heap_ledger::live_sizes() const {
  std::vector<uint32_t> sizes;
  sizes.reserve(blocks_.size());
  for (const auto& entry : blocks_) sizes.push_back(entry.second.size);
  std::sort(sizes.begin(), sizes.end());
  return sizes;
}

}  // namespace quarlo_host
