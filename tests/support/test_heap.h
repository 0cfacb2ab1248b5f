// A heap for tests: it stands in for the C heap behind trel::heap, counts every
// call, tracks the blocks it hands out and fails the calls a test asks it to
// (the books: quarlo_host/core/heap_ledger.h, which the host's heap watch
// keeps too).
//
// Every block is allocated with a hidden reserve behind it (at least 64 bytes,
// or as much again as was asked for), so in-place extension can be emulated
// without touching memory that is not there; under AddressSanitizer the reserve
// is poisoned until a block grows into it. Fresh bytes are filled with 0xA5 so
// code that relies on their content shows up. Requests above max_block bytes
// fail like an exhausted heap. Single-threaded, like the code it serves.
#pragma once

#include <cstdint>

#include <gtest/gtest.h>

namespace test_heap {

// Larger requests fail, so a test never commits gigabytes of memory.
inline constexpr uint32_t max_block = 64u << 20;

// Zeroes every counter and disarms failure; blocks still alive stay tracked
// and the emulation switches keep their settings.
void reset();
// The k-th fallible call from now (1-based) fails; 0 disarms. Fallible calls
// are allocate, reallocate and expand_in_place.
void fail_at(uint32_t k);
// While on, every fallible call fails.
void fail_all(bool on);
// True once the failure armed by fail_at has been delivered.
bool armed_failure_fired();

// Calls since the last reset, failed ones included.
uint32_t fallible_calls();
uint32_t allocations();
uint32_t reallocations();
uint32_t releases();
uint32_t expansions();
// Every heap call since the last reset (the four above; size queries excluded).
uint32_t heap_calls();

// Blocks handed out and not yet released, over the whole process.
uint32_t live_blocks();
uint64_t live_bytes();

// On (the default): block_size reports the size last requested for the block.
// Off: block_size answers false, like a heap without a size query.
void emulate_block_size(bool on);
// On: expand_in_place succeeds when the new size fits the block's reserve.
// Off (the default): it always fails, like a heap without in-place extension.
void emulate_expand(bool on);

// While an object of this type lives, heap calls never fail and do not count
// as fallible calls, so a test can build its starting state inside an
// operation that for_each_failure sweeps.
class unfailing final {
 public:
  unfailing();
  ~unfailing();
  unfailing(const unfailing&) = delete;
  unfailing& operator=(const unfailing&) = delete;
};

// Resets the heap before each test, restores the default emulation, and
// expects every block allocated during the test to be released by its end.
struct heap_test : ::testing::Test {
  void SetUp() override;
  void TearDown() override;

 private:
  uint32_t blocks_at_start_ = 0;
};

// Runs op(0) once with no failure armed and counts its fallible calls n; then
// for k = 1..n resets the heap, arms fail_at(k) and runs op(k) again. op builds
// its own fresh state each time and checks that the failure left it unchanged.
// Each run must deliver its armed failure and leak no block.
template <class Op>
void for_each_failure(Op op) {
  reset();
  const uint32_t start_blocks = live_blocks();
  op(0u);
  const uint32_t n = fallible_calls();
  EXPECT_EQ(live_blocks(), start_blocks) << "leak without failure";
  EXPECT_GT(n, 0u) << "operation makes no fallible heap call";
  for (uint32_t k = 1; k <= n; ++k) {
    SCOPED_TRACE(::testing::Message() << "failing heap call " << k << " of " << n);
    reset();
    fail_at(k);
    op(k);
    EXPECT_TRUE(armed_failure_fired());
    EXPECT_EQ(live_blocks(), start_blocks) << "leak after failure";
  }
  reset();
}

}  // namespace test_heap
