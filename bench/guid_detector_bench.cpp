// The GUID detector over the four 1 MiB inputs of detector_inputs.h, beside
// strlen, std::regex, PCRE2 with JIT and (on x86-64) Hyperscan on the same
// buffers. Each engine's match is checked against the detector's run.
#define PCRE2_CODE_UNIT_WIDTH 8

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <pcre2.h>
#ifdef TAMSEL_BENCH_HYPERSCAN
#include <hs/hs.h>
#endif

#include "detector_timing/detector_inputs.h"
#include "detector_timing/detector_run_offset.h"
#include "lookup/guid_detector.h"

namespace {

// The inputs every timing program of the project shares, with where the run lies.
const detector_input& input(size_t which) {
  static const std::vector<detector_input> inputs = make_detector_inputs();
  return inputs[which];
}

enum input_index : size_t { no_hex, dense_hex, dash_dense, guid_at_end };

std::string subject_name(size_t which) { return std::string("detector/") + input(which).name; }

void detector(benchmark::State& state, size_t which) {
  const std::string& t = input(which).text;
  match_sink sink;
  for (auto _ : state) {
    const bool found = guid_detector(t.c_str(), sink);
    benchmark::DoNotOptimize(found);
    benchmark::DoNotOptimize(sink.start_);
  }
  const long long offset = sink.start_ ? sink.start_ - t.c_str() : -1;
  if (offset != input(which).run_offset) state.SkipWithError("detector found the wrong run");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * t.size());
}

void strlen_scan(benchmark::State& state, size_t which) {
  const std::string& t = input(which).text;
  for (auto _ : state) {
    benchmark::DoNotOptimize(t.data());
    benchmark::DoNotOptimize(std::strlen(t.c_str()));
  }
  state.SetLabel("baseline for " + subject_name(which));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * t.size());
}

// ECMAScript has no lookbehind, so a match starts at the text's start or after a
// non-hex byte, which the match then includes; group 1 is the detector's run. With
// that and the lookahead the pattern finds exactly the detector's run: backtracking
// can never move a dash or end onto a hex digit.
const char* const ecmascript_pattern =
    "(?:^|[^0-9A-Fa-f])([0-9A-Fa-f]{1,8}-[0-9A-Fa-f]{0,4}-[0-9A-Fa-f]{0,4}-[0-9A-Fa-f]{0,4}-"
    "[0-9A-Fa-f]{0,12})(?![0-9A-Fa-f])";

void std_regex_search(benchmark::State& state, size_t which) {
  const std::string& t = input(which).text;
  const std::regex re(ecmascript_pattern, std::regex::ECMAScript | std::regex::optimize);
  std::cmatch m;
  bool found = false;
  for (auto _ : state) {
    found = std::regex_search(t.c_str(), m, re);
    benchmark::DoNotOptimize(found);
  }
  const long long offset = found ? m.position(1) : -1;
  if (offset != input(which).run_offset) state.SkipWithError("std::regex found the wrong run");
  state.SetLabel("baseline for " + subject_name(which));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * t.size());
}

// The same rules with a lookbehind: an attempt starts only where a hex run starts.
const char* const pcre2_pattern =
    "(?<![0-9A-Fa-f])[0-9A-Fa-f]{1,8}-[0-9A-Fa-f]{0,4}-[0-9A-Fa-f]{0,4}-[0-9A-Fa-f]{0,4}-"
    "[0-9A-Fa-f]{0,12}(?![0-9A-Fa-f])";

void pcre2_jit_search(benchmark::State& state, size_t which) {
  const std::string& t = input(which).text;
  int error = 0;
  PCRE2_SIZE error_offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pcre2_pattern),
                                   PCRE2_ZERO_TERMINATED, 0, &error, &error_offset, nullptr);
  if (code == nullptr || pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) != 0) {
    state.SkipWithError("PCRE2 JIT compilation failed");
    pcre2_code_free(code);
    return;
  }
  pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
  const auto subject = reinterpret_cast<PCRE2_SPTR>(t.c_str());
  int rc = 0;
  for (auto _ : state) {
    // The JIT entry needs the length; the detector finds the end itself, so the
    // length is measured here too.
    const size_t length = std::strlen(t.c_str());
    rc = pcre2_jit_match(code, subject, length, 0, 0, data, nullptr);
    benchmark::DoNotOptimize(rc);
  }
  const long long offset = rc > 0 ? static_cast<long long>(pcre2_get_ovector_pointer(data)[0]) : -1;
  if (offset != input(which).run_offset) state.SkipWithError("PCRE2 found the wrong run");
  pcre2_match_data_free(data);
  pcre2_code_free(code);
  state.SetLabel("baseline for " + subject_name(which));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * t.size());
}

#ifdef TAMSEL_BENCH_HYPERSCAN
// Hyperscan has no look-around: the run is bounded by a non-hex byte or an end
// of the text on each side, and those bytes belong to the match. It reports
// where a match ends, and the first report ends the scan. A run is known by its
// end (its five groups, read backwards from the end, are fixed by the dashes),
// so the match is the detector's when it ends one byte after the detector's run,
// or at the text's end where the run ends the text.
const char* const hyperscan_pattern =
    "(?:^|[^0-9A-Fa-f])[0-9A-Fa-f]{1,8}-[0-9A-Fa-f]{0,4}-[0-9A-Fa-f]{0,4}-[0-9A-Fa-f]{0,4}-"
    "[0-9A-Fa-f]{0,12}(?:[^0-9A-Fa-f]|$)";

int first_match_end(unsigned int, unsigned long long, unsigned long long to, unsigned int,
                    void* end) {
  *static_cast<long long*>(end) = static_cast<long long>(to);
  return 1;
}

void hyperscan_scan(benchmark::State& state, size_t which) {
  const std::string& t = input(which).text;
  hs_database_t* database = nullptr;
  hs_compile_error_t* error = nullptr;
  hs_scratch_t* scratch = nullptr;
  if (hs_compile(hyperscan_pattern, 0, HS_MODE_BLOCK, nullptr, &database, &error) != HS_SUCCESS ||
      hs_alloc_scratch(database, &scratch) != HS_SUCCESS) {
    state.SkipWithError("Hyperscan compilation failed");
    hs_free_compile_error(error);
    hs_free_database(database);
    return;
  }
  long long end = -1;
  for (auto _ : state) {
    end = -1;
    // Hyperscan needs the length, as PCRE2's JIT does.
    const size_t length = std::strlen(t.c_str());
    hs_scan(database, t.data(), static_cast<unsigned int>(length), 0, scratch, first_match_end,
            &end);
    benchmark::DoNotOptimize(end);
  }
  match_sink sink;
  long long expected = -1;
  if (guid_detector(t.c_str(), sink)) {
    expected = sink.start_ - t.c_str() + sink.length_;
    if (static_cast<size_t>(expected) < t.size()) ++expected;
  }
  if (end != expected) state.SkipWithError("Hyperscan found another match than the detector");
  hs_free_scratch(scratch);
  hs_free_database(database);
  state.SetLabel("baseline for " + subject_name(which));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * t.size());
}
#endif

}  // namespace

#define GUID_BENCH(engine)                           \
  BENCHMARK_CAPTURE(engine, no_hex, no_hex);         \
  BENCHMARK_CAPTURE(engine, dense_hex, dense_hex);   \
  BENCHMARK_CAPTURE(engine, dash_dense, dash_dense); \
  BENCHMARK_CAPTURE(engine, guid_at_end, guid_at_end)

GUID_BENCH(detector);
GUID_BENCH(strlen_scan);
GUID_BENCH(std_regex_search);
GUID_BENCH(pcre2_jit_search);
#ifdef TAMSEL_BENCH_HYPERSCAN
GUID_BENCH(hyperscan_scan);
#endif
