// The GUID detector over the four 1 MiB inputs of detector_inputs.h, beside
// strlen, std::regex and PCRE2 with JIT on the same buffers.
#define PCRE2_CODE_UNIT_WIDTH 8

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <pcre2.h>

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
