// The books both watched heaps keep: which fallible call fails, which blocks
// are alive, what a freed block is filled with, frees of blocks the ledger
// never saw, and the guards and the quarantine that catch writes past a
// block's end, writes after free and double frees.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "quarlo_host/core/heap_ledger.h"

using quarlo_host::heap_call;
using quarlo_host::heap_ledger;

namespace {

// Makes n fallible calls; the 1-based numbers of those that failed.
std::vector<uint32_t> failing_calls(heap_ledger& ledger, uint32_t n) {
  std::vector<uint32_t> failed;
  for (uint32_t i = 1; i <= n; ++i) {
    if (ledger.next_fails()) failed.push_back(i);
  }
  return failed;
}

}  // namespace

TEST(HeapLedger, FailsTheArmedCallCountedFromWhenItWasArmed) {
  struct row {
    const char* name;
    uint32_t calls_before;
    uint32_t k;
    uint32_t calls;
    std::vector<uint32_t> failed;
  };
  const row rows[] = {
      {"first call", 0, 1, 3, {1}},
      {"last call", 0, 3, 3, {3}},
      {"counted from arming", 5, 2, 4, {2}},
      {"only once", 0, 2, 6, {2}},
      {"disarmed", 0, 0, 4, {}},
      {"beyond the calls made", 0, 4, 3, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    heap_ledger ledger;
    failing_calls(ledger, r.calls_before);
    ledger.fail_at(r.k);
    EXPECT_EQ(failing_calls(ledger, r.calls), r.failed);
    EXPECT_EQ(ledger.armed_failure_fired(), !r.failed.empty());
    EXPECT_EQ(ledger.counts().fallible, r.calls_before + r.calls);
    EXPECT_EQ(ledger.counts().failed, r.failed.size());
  }
}

TEST(HeapLedger, SuspendedCallsNeitherCountNorFail) {
  heap_ledger ledger;
  ledger.fail_at(2);
  ledger.suspend_failures();
  ledger.suspend_failures();
  EXPECT_EQ(failing_calls(ledger, 3), std::vector<uint32_t>{});
  ledger.resume_failures();
  EXPECT_EQ(failing_calls(ledger, 1), std::vector<uint32_t>{});
  ledger.resume_failures();
  EXPECT_EQ(failing_calls(ledger, 3), std::vector<uint32_t>{2});
  EXPECT_EQ(ledger.counts().fallible, 3u);
}

TEST(HeapLedger, FailAllFailsEveryCallUntilTurnedOffOrReset) {
  heap_ledger ledger;
  ledger.fail_all(true);
  EXPECT_EQ(failing_calls(ledger, 3), (std::vector<uint32_t>{1, 2, 3}));
  EXPECT_EQ(ledger.counts().failed, 3u);
  ledger.fail_all(false);
  EXPECT_EQ(failing_calls(ledger, 2), std::vector<uint32_t>{});

  ledger.fail_all(true);
  ledger.fail_at(1);
  ledger.reset();
  EXPECT_EQ(ledger.counts().fallible, 0u);
  EXPECT_EQ(ledger.counts().failed, 0u);
  EXPECT_EQ(failing_calls(ledger, 3), std::vector<uint32_t>{});
  EXPECT_FALSE(ledger.armed_failure_fired());
}

TEST(HeapLedger, CountsEachKindOfCallApart) {
  struct row {
    heap_call kind;
    uint32_t quarlo_host::heap_call_counts::*field;
  };
  const row rows[] = {
      {heap_call::malloc, &quarlo_host::heap_call_counts::mallocs},
      {heap_call::realloc, &quarlo_host::heap_call_counts::reallocs},
      {heap_call::free, &quarlo_host::heap_call_counts::frees},
      {heap_call::size, &quarlo_host::heap_call_counts::sizes},
      {heap_call::expand, &quarlo_host::heap_call_counts::expands},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(static_cast<int>(r.kind));
    heap_ledger ledger;
    ledger.count(r.kind);
    ledger.count(r.kind);
    const quarlo_host::heap_call_counts& c = ledger.counts();
    EXPECT_EQ(c.*r.field, 2u);
    EXPECT_EQ(c.mallocs + c.reallocs + c.frees + c.sizes + c.expands, 2u);
    EXPECT_EQ(c.fallible, 0u) << "counting a call does not make it fallible";
  }
}

TEST(HeapLedger, KeepsTheLiveBlocksWithTheirLatestSizes) {
  char a[8], b[8], c[8];
  struct row {
    const char* name;
    std::function<void(heap_ledger&)> calls;
    std::vector<uint32_t> sizes;
  };
  const row rows[] = {
      {"none", [](heap_ledger&) {}, {}},
      {"three, smallest first",
       [&](heap_ledger& l) {
         l.record(a, 5, 5);
         l.record(b, 1, 64);
         l.record(c, 3, 3);
       },
       {1, 3, 5}},
      {"a freed one goes",
       [&](heap_ledger& l) {
         l.record(a, 5, 5);
         l.record(b, 2, 2);
         l.retire(a);
       },
       {2}},
      {"a moved one is recorded where it went",
       [&](heap_ledger& l) {
         l.record(a, 5, 5);
         l.forget(a);
         l.record(b, 7, 7);
       },
       {7}},
      {"recorded again at the same place: one block",
       [&](heap_ledger& l) {
         l.record(a, 2, 2);
         l.record(a, 6, 6);
       },
       {6}},
      {"resized in place",
       [&](heap_ledger& l) {
         l.record(a, 2, 8);
         l.find(a)->size = 8;
       },
       {8}},
      {"forgetting an unknown block changes nothing",
       [&](heap_ledger& l) {
         l.record(a, 4, 4);
         EXPECT_FALSE(l.forget(b));
       },
       {4}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    heap_ledger ledger;
    r.calls(ledger);
    EXPECT_EQ(ledger.live_sizes(), r.sizes);
    EXPECT_EQ(ledger.live_blocks(), r.sizes.size());
    uint64_t bytes = 0;
    for (uint32_t size : r.sizes) bytes += size;
    EXPECT_EQ(ledger.live_bytes(), bytes);
    EXPECT_EQ(ledger.counts().foreign, 0u);
  }
}

TEST(HeapLedger, PoisonsARetiredBlockUpToItsSizeWhereAsked) {
  struct row {
    std::optional<uint8_t> poison;
    uint32_t size;
  };
  const row rows[] = {{0xDD, 5}, {0xDD, 16}, {0x00, 3}, {std::nullopt, 5}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.size);
    heap_ledger ledger({r.poison});
    std::vector<uint8_t> memory(16 + 4, 0x11);
    ledger.record(memory.data(), r.size, 16);
    EXPECT_EQ(ledger.retire(memory.data()), quarlo_host::heap_retired::give_back);
    for (uint32_t i = 0; i < memory.size(); ++i) {
      const uint8_t expected = r.poison && i < r.size ? *r.poison : 0x11;
      ASSERT_EQ(memory[i], expected) << "byte " << i;
    }
    EXPECT_EQ(ledger.live_blocks(), 0u);
  }
}

TEST(HeapLedger, CountsFreesOfBlocksItNeverRecordedAndLeavesThemAlone) {
  struct row {
    const char* name;
    bool record_first;
    int retires;
    uint32_t foreign;
  };
  const row rows[] = {
      {"recorded, freed once", true, 1, 0},
      {"never recorded", false, 1, 1},
      {"freed twice", true, 2, 1},
      {"never recorded, freed twice", false, 2, 2},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    heap_ledger ledger({0xDD});
    std::vector<uint8_t> memory(8, 0x11);
    if (r.record_first) ledger.record(memory.data(), 8, 8);
    for (int i = 0; i < r.retires; ++i) ledger.retire(memory.data());
    EXPECT_EQ(ledger.counts().foreign, r.foreign);
    EXPECT_EQ(memory.front() == 0xDD, r.record_first) << "only a recorded block is poisoned";
  }
  heap_ledger ledger;
  ledger.count_foreign();
  EXPECT_EQ(ledger.counts().foreign, 1u);
  ledger.reset();
  EXPECT_EQ(ledger.counts().foreign, 0u);
}

TEST(HeapLedger, CountsTheLiveBlocksRecordedSinceAMarkAMovedOneKeepingItsPlace) {
  char a[8], b[8], c[8], d[8];
  struct row {
    const char* name;
    std::function<void(heap_ledger&)> after_mark;
    uint32_t since;
  };
  const row rows[] = {
      {"nothing new", [](heap_ledger&) {}, 0},
      {"two new, one freed",
       [&](heap_ledger& l) {
         l.record(c, 1);
         l.record(d, 1);
         l.retire(c);
       },
       1},
      {"an old block moved stays old", [&](heap_ledger& l) { l.move(a, c, 9); }, 0},
      {"a new block moved stays new",
       [&](heap_ledger& l) {
         l.record(c, 1);
         l.move(c, d, 9);
       },
       1},
      {"an old block freed is no new one", [&](heap_ledger& l) { l.retire(b); }, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    heap_ledger ledger;
    ledger.record(a, 4);
    ledger.record(b, 4);
    const uint64_t mark = ledger.mark();
    r.after_mark(ledger);
    EXPECT_EQ(ledger.live_blocks_since(mark), r.since);
  }
}

TEST(HeapLedger, GuardsAndQuarantineCatchWhatAModuleDoesWrong) {
  using quarlo_host::heap_fault_kind;
  using quarlo_host::heap_retired;
  // Two blocks of 8 bytes in one stretch of memory, each with a guard of 4.
  struct memory {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(32, 0x11);
    uint8_t* a() { return bytes.data(); }
    uint8_t* b() { return bytes.data() + 16; }
  };
  struct row {
    const char* name;
    std::function<void(heap_ledger&, memory&)> calls;
    // The faults' kinds and offsets, in the order found.
    std::vector<std::pair<heap_fault_kind, uint32_t>> faults;
  };
  const row rows[] = {
      {"a block used within its size", [](heap_ledger&, memory& m) { m.a()[7] = 1; }, {}},
      {"one byte past the end, found at free",
       [](heap_ledger& l, memory& m) {
         m.a()[8] = 0;
         EXPECT_EQ(l.retire(m.a()), heap_retired::keep);
       },
       {{heap_fault_kind::overrun, 8}}},
      {"four bytes past the end of a live block, found at the end, once",
       [](heap_ledger& l, memory& m) {
         std::fill(m.b() + 8, m.b() + 12, 0);
         l.check_guard(m.b());
       },
       {{heap_fault_kind::overrun, 8}}},
      {"a resized block guarded at its new end",
       [](heap_ledger& l, memory& m) {
         l.move(m.a(), m.a(), 4);
         m.a()[6] = 0;
       },
       {{heap_fault_kind::overrun, 6}}},
      {"a write after free",
       [](heap_ledger& l, memory& m) {
         l.retire(m.a());
         m.a()[3] = 0x42;
       },
       {{heap_fault_kind::write_after_free, 3}}},
      {"a write after free past the freed block's end",
       [](heap_ledger& l, memory& m) {
         l.retire(m.b());
         m.b()[9] = 0x42;
       },
       {{heap_fault_kind::write_after_free, 9}}},
      {"a double free is kept, not given back twice",
       [](heap_ledger& l, memory& m) {
         l.retire(m.a());
         EXPECT_EQ(l.retire(m.a()), heap_retired::keep);
       },
       {{heap_fault_kind::double_free, 0}}},
      {"a pointer never handed out is foreign; the heap says whether it is a block",
       [](heap_ledger& l, memory& m) {
         EXPECT_EQ(l.retire(m.a() + 1), heap_retired::foreign);
         l.count_not_a_block();
       },
       {{heap_fault_kind::not_a_block, 0}}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    heap_ledger ledger({0xDD, 4, true});
    memory m;
    ledger.record(m.a(), 8, 8);
    ledger.record(m.b(), 8, 8);
    r.calls(ledger, m);
    const std::vector<void*> released = ledger.check_and_release_quarantine();
    std::vector<std::pair<heap_fault_kind, uint32_t>> found;
    for (const auto& f : ledger.faults()) found.emplace_back(f.kind, f.offset);
    EXPECT_EQ(found, r.faults);
    EXPECT_EQ(released.size() + ledger.live_blocks(), 2u) << "each block alive or given back";
    EXPECT_TRUE(ledger.check_and_release_quarantine().empty());
  }
}

TEST(HeapLedger, FaultsSayWhichBlockAndWhere) {
  using quarlo_host::heap_fault_kind;
  const std::pair<quarlo_host::heap_fault, const char*> rows[] = {
      {{heap_fault_kind::overrun, 300, 12, 300},
       "the bytes past the end of block 12 (300 bytes) were written, from byte 300"},
      {{heap_fault_kind::write_after_free, 8, 2, 3},
       "block 2 (8 bytes) was written after it was freed, at byte 3"},
      {{heap_fault_kind::double_free, 8, 2}, "block 2 (8 bytes) was freed twice"},
      {{heap_fault_kind::not_a_block}, "a pointer the heap never handed out was freed"},
  };
  for (const auto& [fault, text] : rows) EXPECT_EQ(quarlo_host::heap_fault_text(fault), text);
}
