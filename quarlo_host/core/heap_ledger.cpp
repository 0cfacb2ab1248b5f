#include "quarlo_host/core/heap_ledger.h"

#include <algorithm>
#include <cstring>
#include <string>

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

std::string heap_fault_text(const heap_fault& fault) {
  const std::string block =
      "block " + std::to_string(fault.order) + " (" + std::to_string(fault.size) + " bytes)";
  switch (fault.kind) {
    case heap_fault_kind::overrun:
      return "the bytes past the end of " + block + " were written, from byte " +
             std::to_string(fault.offset);
    case heap_fault_kind::write_after_free:
      return block + " was written after it was freed, at byte " + std::to_string(fault.offset);
    case heap_fault_kind::double_free:
      return block + " was freed twice";
    case heap_fault_kind::not_a_block:
      return "a pointer the heap never handed out was freed";
  }
  return "a heap fault";
}

uint32_t heap_ledger::changed(const void* at, uint32_t n, uint8_t value) {
  const auto* bytes = static_cast<const uint8_t*>(at);
  for (uint32_t i = 0; i < n; ++i) {
    if (bytes[i] != value) return i;
  }
  return n;
}

void heap_ledger::write_guard(const void* block, uint32_t size) const {
  if (options_.guard == 0) return;
  std::memset(static_cast<uint8_t*>(const_cast<void*>(block)) + size, guard_byte, options_.guard);
}

void heap_ledger::record(const void* block, uint32_t size, uint32_t room) {
  blocks_[block] = {size, room, ++recorded_};
  quarantine_.erase(const_cast<void*>(block));
  write_guard(block, size);
}

void heap_ledger::move(const void* from, const void* to, uint32_t size) {
  const auto it = blocks_.find(from);
  const uint64_t order = it != blocks_.end() ? it->second.order : ++recorded_;
  if (it != blocks_.end()) blocks_.erase(it);
  blocks_[to] = {size, size, order};
  write_guard(to, size);
}

void heap_ledger::check_guard(const void* block) {
  const auto it = blocks_.find(block);
  if (it == blocks_.end() || options_.guard == 0) return;
  const heap_block& b = it->second;
  const uint32_t at =
      changed(static_cast<const uint8_t*>(block) + b.size, options_.guard, guard_byte);
  if (at == options_.guard) return;
  faults_.push_back({heap_fault_kind::overrun, b.size, b.order, b.size + at});
  write_guard(block, b.size);
}

heap_block* heap_ledger::find(const void* block) {
  const auto it = blocks_.find(block);
  return it == blocks_.end() ? nullptr : &it->second;
}

bool heap_ledger::forget(const void* block) { return blocks_.erase(block) != 0; }

heap_retired heap_ledger::retire(void* block) {
  const auto it = blocks_.find(block);
  if (it == blocks_.end()) {
    const auto kept = quarantine_.find(block);
    if (kept == quarantine_.end()) {
      ++counts_.foreign;
      return heap_retired::foreign;
    }
    faults_.push_back({heap_fault_kind::double_free, kept->second.size, kept->second.order});
    return heap_retired::keep;
  }
  check_guard(block);
  if (options_.poison) std::memset(block, *options_.poison, it->second.size);
  const bool keep = options_.quarantine && options_.poison;
  if (keep) quarantine_[block] = it->second;
  blocks_.erase(it);
  return keep ? heap_retired::keep : heap_retired::give_back;
}

std::vector<void*> heap_ledger::check_and_release_quarantine() {
  for (const auto& entry : blocks_) check_guard(entry.first);
  std::vector<void*> released;
  released.reserve(quarantine_.size());
  for (const auto& [block, b] : quarantine_) {
    uint32_t at = changed(block, b.size, *options_.poison);
    if (at == b.size) {
      at =
          b.size + changed(static_cast<const uint8_t*>(block) + b.size, options_.guard, guard_byte);
    }
    if (at != b.size + options_.guard) {
      faults_.push_back({heap_fault_kind::write_after_free, b.size, b.order, at});
    }
    released.push_back(block);
  }
  quarantine_.clear();
  return released;
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
