// The books of a heap under test: the blocks handed out and not yet taken
// back, with their sizes; a count of every call; a schedule that makes the
// k-th fallible call fail; and, where wanted, a poison byte that fills every
// block about to be freed, so a use after free fails at once instead of
// running on stale memory.
//
// Both heaps that tests watch keep one: the host's heap watch, over a
// module's msvcrt imports, and the tests' own heap behind trel::heap. Each
// does the heap's work itself and writes it down here. The ledger holds no
// lock: a heap called from several threads takes its own around each call.
#pragma once

#include <cstdint>
#include <optional>
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

class heap_ledger {
 public:
  // poison: the byte that fills each block retire is given; none leaves
  // freed blocks as they are.
  explicit heap_ledger(std::optional<uint8_t> poison = std::nullopt) : poison_(poison) {}

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

  // A block the heap handed out, or moved a recorded block to.
  void record(const void* block, uint32_t size, uint32_t room);
  // The same where the heap does not say how much room a block has.
  void record(const void* block, uint32_t size) { record(block, size, size); }
  // The block's record; null for a block not recorded.
  heap_block* find(const void* block);
  // A recorded block the heap moved to another address (or kept where it
  // was) at a new size; it keeps its place in the order.
  void move(const void* from, const void* to, uint32_t size);
  // Drops a block's record; false when there was none.
  bool forget(const void* block);
  // A block about to be freed: filled with the poison byte, if there is one,
  // up to its size, and forgotten. A block never recorded is left alone and
  // counted as foreign; false then.
  bool retire(void* block);
  // A realloc of a block never recorded, which the heap passes through.
  void count_foreign() { ++counts_.foreign; }

  uint32_t live_blocks() const { return static_cast<uint32_t>(blocks_.size()); }
  uint64_t live_bytes() const;
  // The live blocks' sizes, smallest first.
  std::vector<uint32_t> live_sizes() const;
  // A point in the order blocks are recorded: live_blocks_since(mark())
  // later counts the blocks recorded after it and still alive.
  uint64_t mark() const { return recorded_; }
  uint32_t live_blocks_since(uint64_t mark) const;

 private:
  std::unordered_map<const void*, heap_block> blocks_;
  heap_call_counts counts_;
  std::optional<uint8_t> poison_;
  uint32_t fail_at_ = 0;
  bool fired_ = false;
  bool fail_all_ = false;
  uint32_t suspended_ = 0;
  uint64_t recorded_ = 0;
};

}  // namespace quarlo_host
