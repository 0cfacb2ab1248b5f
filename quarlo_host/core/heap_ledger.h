// The books of a heap under test: the blocks handed out and not yet taken
// back, with their sizes; a count of every call; a schedule that makes the
// k-th fallible call fail; and, where wanted, a poison byte that fills every
// block about to be freed, so a use after free fails at once instead of
// running on stale memory.
//
// Where wanted too, guard bytes after the end of every block, checked when
// the block is freed, resized or inspected, and a quarantine: a freed block
// stays poisoned and aside, not given back, until the heap takes the
// quarantine back, and is checked unchanged then. What the checks find (a
// write past a block's end, a write after free, a double free, a free of what
// the heap never handed out) is kept as faults.
//
// Both heaps that tests watch keep one: the host's heap watch, over a
// module's msvcrt imports, and the tests' own heap behind trel::heap. Each
// does the heap's work itself and writes it down here. The ledger holds no
// lock: a heap called from several threads takes its own around each call.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quarlo_host {

enum class heap_call { malloc, realloc, free, size, expand };

struct heap_call_counts {
  uint32_t mallocs = 0;
  uint32_t reallocs = 0;
  uint32_t frees = 0;
  uint32_t sizes = 0;
  uint32_t expands = 0;
  // Calls that could fail (malloc, a growing or moving realloc, expand),
  // counted by next_fails.
  uint32_t fallible = 0;
  // Calls that failed because a failure was armed.
  uint32_t failed = 0;
  // free or realloc of a block the ledger never recorded.
  uint32_t foreign = 0;
};

struct heap_block {
  // The size last asked for.
  uint32_t size;
  // Bytes the heap holds for the block from its start, at least size.
  uint32_t room;
  // Its place in the order blocks were first recorded, from 1.
  uint64_t order = 0;
};

enum class heap_fault_kind { overrun, write_after_free, double_free, not_a_block };

struct heap_fault {
  heap_fault_kind kind;
  // The block's size and place in the order (0 for not_a_block).
  uint32_t size = 0;
  uint64_t order = 0;
  // The first byte found changed, from the block's start.
  uint32_t offset = 0;
};

// "4 bytes past the end of block 12 (300 bytes) were written", and the like.
std::string heap_fault_text(const heap_fault& fault);

// What retire asks of the heap.
enum class heap_retired {
  // Give the block back.
  give_back,
  // Keep it: it is in the quarantine, or was already (a double free).
  keep,
  // Never recorded: the heap decides (count_not_a_block when it is none).
  foreign,
};

struct heap_ledger_options {
  // The byte that fills each block retire is given; none leaves freed blocks
  // as they are.
  std::optional<uint8_t> poison;
  // Guard bytes the heap adds after each block's size (guard_byte each).
  uint32_t guard = 0;
  // Freed blocks go to the quarantine (needs the poison).
  bool quarantine = false;
};

inline constexpr uint8_t guard_byte = 0xFD;

class heap_ledger {
 public:
  explicit heap_ledger(heap_ledger_options options = {}) : options_(options) {}

  void count(heap_call kind);
  // Counts one fallible call; true when it is to fail: while fail_all is on,
  // or when it is the call fail_at armed. While failures are suspended it
  // neither counts nor fails.
  bool next_fails();

  // The k-th fallible call from now (1-based) fails; 0 disarms.
  void fail_at(uint32_t k);
  // While on, every fallible call fails.
  void fail_all(bool on);
  // True once the failure armed by fail_at has come.
  bool armed_failure_fired() const { return fired_; }
  // Calls between these neither count as fallible nor fail; they nest.
  void suspend_failures() { ++suspended_; }
  void resume_failures() { --suspended_; }
  // Zeroes the counts and disarms every failure; the blocks stay recorded.
  void reset();
  const heap_call_counts& counts() const { return counts_; }

  // Bytes the heap adds to every request for the guard.
  uint32_t guard() const { return options_.guard; }

  // A block the heap handed out, or moved a recorded block to; its guard,
  // if any, is written after size.
  void record(const void* block, uint32_t size, uint32_t room);
  // The same where the heap does not say how much room a block has.
  void record(const void* block, uint32_t size) { record(block, size, size); }
  // The block's record; null for a block not recorded.
  heap_block* find(const void* block);
  // A recorded block the heap moved to another address (or kept where it
  // was) at a new size; it keeps its place in the order and gets its guard.
  void move(const void* from, const void* to, uint32_t size);
  // Checks a recorded block's guard: a write past its end is a fault (once;
  // the guard is written anew).
  void check_guard(const void* block);
  // Drops a block's record; false when there was none.
  bool forget(const void* block);
  // A block about to be freed: its guard checked, filled with the poison
  // byte, if there is one, up to its size, and forgotten or put in the
  // quarantine. A block never recorded is left alone and counted as foreign;
  // one already in the quarantine is a double free.
  heap_retired retire(void* block);
  // A realloc of a block never recorded, which the heap passes through.
  void count_foreign() { ++counts_.foreign; }
  // A free of a pointer the heap says is no block of its.
  void count_not_a_block() { faults_.push_back({heap_fault_kind::not_a_block}); }

  // Checks every live block's guard and every quarantined block unchanged,
  // then empties the quarantine: the blocks the heap is to give back now.
  std::vector<void*> check_and_release_quarantine();
  // What the checks found so far; reset leaves them.
  const std::vector<heap_fault>& faults() const { return faults_; }
  void clear_faults() { faults_.clear(); }

  uint32_t live_blocks() const { return static_cast<uint32_t>(blocks_.size()); }
  uint64_t live_bytes() const;
  // The live blocks' sizes, smallest first.
  std::vector<uint32_t> live_sizes() const;
  // A point in the order blocks are recorded: live_blocks_since(mark())
  // later counts the blocks recorded after it and still alive.
  uint64_t mark() const { return recorded_; }
  uint32_t live_blocks_since(uint64_t mark) const;

 private:
  // The first byte from at to at + n that is not value; n when none.
  static uint32_t changed(const void* at, uint32_t n, uint8_t value);
  void write_guard(const void* block, uint32_t size) const;

  heap_ledger_options options_;
  std::unordered_map<const void*, heap_block> blocks_;
  std::unordered_map<void*, heap_block> quarantine_;
  std::vector<heap_fault> faults_;
  heap_call_counts counts_;
  uint32_t fail_at_ = 0;
  bool fired_ = false;
  bool fail_all_ = false;
  uint32_t suspended_ = 0;
  uint64_t recorded_ = 0;
};

}  // namespace quarlo_host
