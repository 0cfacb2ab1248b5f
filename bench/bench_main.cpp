// Runs every benchmark of the program, then prints throughput ratios: a run whose
// label is "baseline for NAME" is compared with the run called NAME, by bytes per
// second (items per second when no bytes were counted). Exits 1 when a benchmark
// failed (found a wrong answer, say) or none ran.
#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

namespace {

const std::string baseline_prefix = "baseline for ";

class ratio_reporter final : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal.
  ratio_reporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& reports) override {
    for (const Run& run : reports) {
      if (run.error_occurred) {
        failed_ = true;
        continue;
      }
      const double value = throughput(run);
      if (value <= 0) continue;
      // With repetitions the median stands for the benchmark; otherwise its one run.
      const std::string name = run.run_name.str();
      if (run.run_type == Run::RT_Iteration) {
        rates_[name] = value;
      } else if (run.aggregate_name == "median") {
        medians_[name] = value;
      } else {
        continue;
      }
      if (run.report_label.rfind(baseline_prefix, 0) == 0) {
        const std::pair<std::string, std::string> pair(
            run.report_label.substr(baseline_prefix.size()), name);
        if (std::find(pairs_.begin(), pairs_.end(), pair) == pairs_.end()) pairs_.push_back(pair);
      }
    }
    ConsoleReporter::ReportRuns(reports);
  }

  // A run that ended with an error (a benchmark that found the wrong answer).
  bool failed() const { return failed_; }

  void print_ratios() const {
    if (pairs_.empty()) return;
    std::printf("\nThroughput ratios (subject / baseline; above 1 means the subject is faster):\n");
    for (const auto& [subject, baseline] : pairs_) {
      if (rate(subject) <= 0) {
        std::printf("  %-28s vs %-28s  (subject did not run)\n", subject.c_str(), baseline.c_str());
        continue;
      }
      const double ratio = rate(subject) / rate(baseline);
      std::printf("  %-28s vs %-28s  %10.2fx\n", subject.c_str(), baseline.c_str(), ratio);
    }
  }

 private:
  double rate(const std::string& name) const {
    for (const auto* rates : {&medians_, &rates_}) {
      const auto found = rates->find(name);
      if (found != rates->end()) return found->second;
    }
    return 0;
  }

  static double throughput(const Run& run) {
    for (const char* name : {"bytes_per_second", "items_per_second"}) {
      const auto counter = run.counters.find(name);
      if (counter != run.counters.end()) return counter->second.value;
    }
    return 0;
  }

  bool failed_ = false;
  std::map<std::string, double> medians_;
  std::map<std::string, double> rates_;
  std::vector<std::pair<std::string, std::string>> pairs_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ratio_reporter reporter;
  const size_t ran = benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  reporter.print_ratios();
  if (ran == 0) std::fprintf(stderr, "no benchmark ran\n");
  if (reporter.failed()) std::fprintf(stderr, "a benchmark failed: see its error above\n");
  return ran == 0 || reporter.failed() ? 1 : 0;
}
