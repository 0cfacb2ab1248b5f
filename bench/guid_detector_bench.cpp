// The GUID detector over 1 MiB of text, beside strlen, std::regex and PCRE2 with
// JIT on the same buffers. Four inputs: text without any hex digit (but with
// dashes); dense hex without a GUID (runs of nine digits and a dash); dash-dense hex
// without a GUID (four short groups, three dashes, a blank); prose full of hex
// letters and hyphenated words with one GUID at the very end.
#define PCRE2_CODE_UNIT_WIDTH 8

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <regex>
#include <stdexcept>
#include <string>

#include <benchmark/benchmark.h>
#include <pcre2.h>

#include "lookup/guid_detector.h"
#include "trel/string_base.h"

namespace {

constexpr size_t text_bytes = 1 << 20;
constexpr const char* trailing_guid = "0123abcd-0123-4567-89ab-cdef01234567";

enum class input { no_hex, dense_hex, dash_dense, guid_at_end };

std::string repeat_to_size(const std::string& piece, size_t size) {
  std::string text;
  text.reserve(size);
  while (text.size() < size) text += piece;
  text.resize(size);
  return text;
}

std::string make_text(input which) {
  switch (which) {
    case input::no_hex:
      return repeat_to_size("ghijklmnop qrstuvwxyz - GHIJKLMNOP QRSTUVWXYZ, .;:!?()<>+*/=_~ ",
                            text_bytes);
    case input::dense_hex:
      return repeat_to_size("123456789-", text_bytes);
    case input::dash_dense:
      return repeat_to_size("ab-cd-12-ef ", text_bytes);
    case input::guid_at_end:
      return repeat_to_size("The quick brown fox fed a bad-tempered cat 12 deaf beef cafes; ",
                            text_bytes - std::strlen(trailing_guid) - 1) +
             " " + trailing_guid;
  }
  throw std::logic_error("unknown input");
}

const std::string& text(input which) {
  static const std::string texts[] = {make_text(input::no_hex), make_text(input::dense_hex),
                                      make_text(input::dash_dense), make_text(input::guid_at_end)};
  return texts[static_cast<int>(which)];
}

// Where each engine should report the match, so all of them are checked to agree.
long long expected_offset(input which) {
  return which == input::guid_at_end ? static_cast<long long>(text_bytes - 36) : -1;
}

std::string subject_name(const char* input_name) { return std::string("detector/") + input_name; }

// Takes the detector's match without copying it, so only the scan is measured.
class match_sink final : public trel::string_base {
 public:
  void append_text(const char*, uint32_t) override {}
  const char* current_text() override { return text_; }
  void assign_text(const char* text, uint32_t length) override {
    text_ = text;
    length_ = length;
  }
  void shorten(uint32_t) override {}
  uint32_t text_length() override { return length_; }
  char* open_write_area(uint32_t) override { return nullptr; }
  void close_write_area() override {}

  const char* text_ = nullptr;
  uint32_t length_ = 0;
};

void detector(benchmark::State& state, input which, const char*) {
  const std::string& t = text(which);
  match_sink sink;
  for (auto _ : state) {
    const bool found = guid_detector(t.c_str(), sink);
    benchmark::DoNotOptimize(found);
    benchmark::DoNotOptimize(sink.text_);
  }
  const long long offset = sink.text_ ? sink.text_ - t.c_str() : -1;
  if (offset != expected_offset(which)) state.SkipWithError("detector found the wrong run");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * t.size());
}

void strlen_scan(benchmark::State& state, input which, const char* name) {
  const std::string& t = text(which);
  for (auto _ : state) {
    benchmark::DoNotOptimize(t.data());
    benchmark::DoNotOptimize(std::strlen(t.c_str()));
  }
  state.SetLabel("baseline for " + subject_name(name));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * t.size());
}

// ECMAScript has no lookbehind, so a match starts at the text's start or after a
// non-hex byte, which the match then includes; group 1 is the detector's run. With
// that and the lookahead the pattern finds exactly the detector's run: backtracking
// can never move a dash or end onto a hex digit.
const char* const ecmascript_pattern =
    "(?:^|[^0-9A-Fa-f])([0-9A-Fa-f]{1,8}-[0-9A-Fa-f]{0,4}-[0-9A-Fa-f]{0,4}-[0-9A-Fa-f]{0,4}-"
    "[0-9A-Fa-f]{0,12})(?![0-9A-Fa-f])";

void std_regex_search(benchmark::State& state, input which, const char* name) {
  const std::string& t = text(which);
  const std::regex re(ecmascript_pattern, std::regex::ECMAScript | std::regex::optimize);
  std::cmatch m;
  bool found = false;
  for (auto _ : state) {
    found = std::regex_search(t.c_str(), m, re);
    benchmark::DoNotOptimize(found);
  }
  const long long offset = found ? m.position(1) : -1;
  if (offset != expected_offset(which)) state.SkipWithError("std::regex found the wrong run");
  state.SetLabel("baseline for " + subject_name(name));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * t.size());
}

// The same rules with a lookbehind: an attempt starts only where a hex run starts.
const char* const pcre2_pattern =
    "(?<![0-9A-Fa-f])[0-9A-Fa-f]{1,8}-[0-9A-Fa-f]{0,4}-[0-9A-Fa-f]{0,4}-[0-9A-Fa-f]{0,4}-"
    "[0-9A-Fa-f]{0,12}(?![0-9A-Fa-f])";

void pcre2_jit_search(benchmark::State& state, input which, const char* name) {
  const std::string& t = text(which);
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
  if (offset != expected_offset(which)) state.SkipWithError("PCRE2 found the wrong run");
  pcre2_match_data_free(data);
  pcre2_code_free(code);
  state.SetLabel("baseline for " + subject_name(name));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * t.size());
}

}  // namespace

#define GUID_BENCH(engine)                                                \
  BENCHMARK_CAPTURE(engine, no_hex, input::no_hex, "no_hex");             \
  BENCHMARK_CAPTURE(engine, dense_hex, input::dense_hex, "dense_hex");    \
  BENCHMARK_CAPTURE(engine, dash_dense, input::dash_dense, "dash_dense"); \
  BENCHMARK_CAPTURE(engine, guid_at_end, input::guid_at_end, "guid_at_end")

GUID_BENCH(detector);
GUID_BENCH(strlen_scan);
GUID_BENCH(std_regex_search);
GUID_BENCH(pcre2_jit_search);
