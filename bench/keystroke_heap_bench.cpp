// Heap traffic of the lookup dialog's two strings while a user types: a
// 100-character input arrives one keystroke at a time, the input string is
// reassigned with the whole text so far, and the detector assigns the GUID it
// finds to the GUID string (or leaves it alone). The counters are the heap
// calls per keystroke, counted by the test heap; its timings include the test
// heap's bookkeeping and are not those of the C heap. The exact-size policy
// runs the same session for comparison.
#include <cstdint>
#include <cstring>

#include <benchmark/benchmark.h>

#include "lookup/guid_detector.h"
#include "support/test_heap.h"
#include "trel/alloc_fast_aggressive.h"
#include "trel/string8_t.h"

namespace {

// A GUID among words, typed a character at a time: the detector finds a run
// once the GUID's fifth group begins, and the run grows with each digit after.
constexpr const char typed[] =
    "see ticket 47110: the class {35077B8C-6E70-47BA-B9DD-D51500E12F2E}, reported by the host on a "
    "reload";
constexpr uint32_t keystrokes = sizeof(typed) - 1;
static_assert(keystrokes == 100);

struct session_counts {
  uint32_t heap_calls = 0;
  uint32_t allocations = 0;
  uint32_t reallocations = 0;
  uint32_t detections = 0;
};

template <class P>
session_counts type_session() {
  const uint32_t calls = test_heap::heap_calls();
  const uint32_t allocations = test_heap::allocations();
  const uint32_t reallocations = test_heap::reallocations();
  session_counts counts;
  {
    trel::string8_t<P> input;
    trel::string8_t<P> guid_text;
    for (uint32_t typed_so_far = 1; typed_so_far <= keystrokes; ++typed_so_far) {
      input.assign_text(typed, typed_so_far);
      if (guid_detector(input.current_text(), guid_text)) ++counts.detections;
      benchmark::DoNotOptimize(guid_text.current_text());
    }
  }
  counts.heap_calls = test_heap::heap_calls() - calls;
  counts.allocations = test_heap::allocations() - allocations;
  counts.reallocations = test_heap::reallocations() - reallocations;
  return counts;
}

// Arg 0: a heap without in-place extension; 1: one with it.
template <class P>
void keystroke_heap(benchmark::State& state) {
  test_heap::emulate_expand(state.range(0) != 0);
  session_counts total;
  for (auto _ : state) {
    const session_counts s = type_session<P>();
    total.heap_calls += s.heap_calls;
    total.allocations += s.allocations;
    total.reallocations += s.reallocations;
    total.detections += s.detections;
  }
  test_heap::emulate_expand(false);
  const double typed_keys = static_cast<double>(state.iterations()) * keystrokes;
  state.counters["heap_calls_per_keystroke"] = total.heap_calls / typed_keys;
  state.counters["allocations_per_keystroke"] = total.allocations / typed_keys;
  state.counters["reallocations_per_keystroke"] = total.reallocations / typed_keys;
  state.counters["detections_per_keystroke"] = total.detections / typed_keys;
  state.SetItemsProcessed(static_cast<int64_t>(typed_keys));
}

BENCHMARK_TEMPLATE(keystroke_heap, trel::alloc_fast_aggressive)->Arg(0)->Arg(1);
BENCHMARK_TEMPLATE(keystroke_heap, trel::alloc_standard)->Arg(0)->Arg(1);

}  // namespace
