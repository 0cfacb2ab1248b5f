// Times the GUID detector of this build, and that of another build's
// guid_detector.dll when one is named, beside the C runtime's strlen, over each
// 1 MiB input: the best of N runs of each. Prints one record a line:
//
//   build name=native compiler=GNU-12.2.0 config=Release sse2=yes
//   input name=no_hex bytes=1048576 title=no hex digit at all
//   time input=no_hex build=native engine=detector runs=30 best_us=52.31
//
// Every detector must find each input's run and strlen its length: exit
// status 1 when one does not, 2 on a usage error.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "best_time.h"
#include "build_text.h"
#include "detector_inputs.h"
#include "detector_run_offset.h"
#include "dll_detector.h"

namespace {

const char usage[] =
    "usage: detector_timing [--runs N] [--dll guid_detector.dll]\n"
    "  --runs N  timed runs per input and engine, the best counts (default 30)\n"
    "  --dll     also time the detector of that DLL (another build's, Windows only)\n";

struct options {
  int runs = 30;
  std::string dll;
};

bool parse_options(int argc, char** argv, options& out) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 == argc) return false;
    const char* value = argv[++i];
    if (arg == "--runs") {
      char* end = nullptr;
      const long runs = strtol(value, &end, 10);
      if (*end != '\0' || runs < 1 || runs > 100000) return false;
      out.runs = static_cast<int>(runs);
    } else if (arg == "--dll") {
      out.dll = value;
    } else {
      return false;
    }
  }
  return true;
}

// The name= field of a build record.
std::string build_name(const std::string& build) {
  const size_t start = build.find("name=");
  if (start == std::string::npos) return "unknown";
  const size_t end = build.find(' ', start);
  return build.substr(start + 5, end == std::string::npos ? end : end - start - 5);
}

void print_time(const detector_input& input, const std::string& build, const char* engine, int runs,
                double best_us) {
  printf("time input=%s build=%s engine=%s runs=%d best_us=%.2f\n", input.name, build.c_str(),
         engine, runs, best_us);
}

// Times find over the input; false when it reports another run than the input's.
template <class F>
bool time_detector(const detector_input& input, const std::string& build, int runs, F find) {
  const char* text = input.text.c_str();
  int32_t offset = 0;
  const double best = best_microseconds(runs, [&] {
    offset = find(text);
    keep(offset);
  });
  print_time(input, build, "detector", runs, best);
  if (offset == input.run_offset) return true;
  fprintf(stderr, "detector_timing: the %s detector found %ld on %s, not %lld\n", build.c_str(),
          static_cast<long>(offset), input.name, input.run_offset);
  return false;
}

// Called through a volatile pointer, so the C runtime's function runs, never
// an inlined or hoisted copy.
size_t (*volatile crt_strlen)(const char*) = strlen;

bool time_strlen(const detector_input& input, const std::string& build, int runs) {
  const char* text = input.text.c_str();
  size_t length = 0;
  const double best = best_microseconds(runs, [&] {
    length = crt_strlen(text);
    keep(length);
  });
  print_time(input, build, "strlen", runs, best);
  if (length == input.text.size()) return true;
  fprintf(stderr, "detector_timing: strlen measured %lu bytes of %s, not %lu\n",
          static_cast<unsigned long>(length), input.name,
          static_cast<unsigned long>(input.text.size()));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  options opts;
  if (!parse_options(argc, argv, opts)) {
    fputs(usage, stderr);
    return 2;
  }
  dll_detector other;
  std::string error;
  if (!opts.dll.empty() && !load_dll_detector(opts.dll, other, error)) {
    fprintf(stderr, "detector_timing: %s\n", error.c_str());
    return 1;
  }
  const std::string own_build = TAMSEL_BENCH_BUILD_NAME;
  const std::string other_build = build_name(other.build);
  printf("build %s\n", TAMSEL_BENCH_BUILD_TEXT);
  if (other.find != nullptr) printf("build %s\n", other.build.c_str());

  bool all_right = true;
  for (const detector_input& input : make_detector_inputs()) {
    printf("input name=%s bytes=%lu title=%s\n", input.name,
           static_cast<unsigned long>(input.text.size()), input.title);
    all_right &= time_detector(input, own_build, opts.runs, detector_run_offset);
    if (other.find != nullptr)
      all_right &= time_detector(input, other_build, opts.runs, other.find);
    all_right &= time_strlen(input, own_build, opts.runs);
    fflush(stdout);
  }
  return all_right ? 0 : 1;
}
