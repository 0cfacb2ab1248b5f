#include "quarlo_host/checker/check_report.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "quarlo_host/core/valid_utf8.h"

namespace quarlo_host {

namespace {

std::string seconds_text(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

std::map<check_status, uint32_t> tally(const check_run& run) {
  std::map<check_status, uint32_t> counts;
  for (const auto& o : run.outcomes) ++counts[effective_status(o, run.strict)];
  return counts;
}

// Text as XML 1.0 character data or attribute value: markup escaped, bytes
// of invalid UTF-8 and control characters XML cannot hold as '?'.
std::string xml_text(const std::string& text) {
  const bool utf8 = valid_utf8(text);
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || (c >= 0x80 && !utf8)) {
          out += '?';
        } else {
          out += ch;
        }
    }
  }
  return out;
}

std::string message_of(const case_outcome& o) {
  return o.result.details.empty() ? status_name(o.result.status) : o.result.details;
}

}  // namespace

check_status effective_status(const case_outcome& outcome, bool strict) {
  if (strict && outcome.result.status == check_status::warning) return check_status::failed;
  return outcome.result.status;
}

void write_case_line(const case_outcome& o, bool strict, std::ostream& out) {
  out << status_name(effective_status(o, strict)) << " " << o.job.c->id << ": "
      << o.job.c->description;
  if (!o.result.details.empty()) {
    // One line a case, whatever a module's text holds.
    std::string details = o.result.details;
    for (char& c : details) {
      if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    }
    out << " (" << details << ")";
  }
  out << " [" << seconds_text(o.seconds) << " s]\n";
  out.flush();
}

void write_summary(const check_run& run, std::ostream& out) {
  auto counts = tally(run);
  out << "summary " << counts[check_status::passed] << " passed, " << counts[check_status::failed]
      << " failed, " << counts[check_status::skipped] << " skipped, "
      << counts[check_status::warning] << " warning, " << counts[check_status::crashed]
      << " crashed in " << seconds_text(run.seconds) << " s\n";
}

namespace {

nlohmann::json module_json(const check_run& run) {
  nlohmann::json cases = nlohmann::json::array();
  for (const auto& o : run.outcomes) {
    cases.push_back({{"id", o.job.c->id},
                     {"area", case_area(*o.job.c)},
                     {"description", o.job.c->description},
                     {"seed", o.job.seed},
                     {"repetition", o.job.repetition},
                     {"status", status_name(effective_status(o, run.strict))},
                     {"details", o.result.details},
                     {"seconds", o.seconds},
                     {"timed_out", o.timed_out}});
  }
  auto counts = tally(run);
  nlohmann::json summary;
  for (const auto& [status, n] : counts) summary[status_name(status)] = n;
  nlohmann::json report = {
      {"module", run.module_path}, {"strict", run.strict}, {"passed", run_verdict(run) == 0},
      {"seconds", run.seconds},    {"summary", summary},   {"cases", cases}};
  if (!run.not_checked.empty()) report["not_checked"] = run.not_checked;
  return report;
}

double total_seconds(const std::vector<check_run>& runs) {
  double seconds = 0;
  for (const check_run& run : runs) seconds += run.seconds;
  return seconds;
}

std::string junit_cases(const check_run& run) {
  std::ostringstream cases;
  if (!run.not_checked.empty()) {
    const std::string message = xml_text(run.not_checked);
    cases << "    <testcase classname=\"entry\" name=\"not checked\" time=\"0.000\">\n"
          << "      <error message=\"" << message << "\" type=\"not checked\">" << message
          << "</error>\n    </testcase>\n";
  }
  for (const auto& o : run.outcomes) {
    const check_status status = effective_status(o, run.strict);
    cases << "    <testcase classname=\"" << xml_text(case_area(*o.job.c)) << "\" name=\""
          << xml_text(o.job.c->id) << "\" time=\"" << seconds_text(o.seconds) << "\"";
    const std::string message = xml_text(message_of(o));
    const std::string seed = "seed " + std::to_string(o.job.seed) + "\n";
    switch (status) {
      case check_status::passed:
        cases << ">\n      <system-out>" << seed << "</system-out>\n";
        break;
      case check_status::warning:
        cases << ">\n      <system-out>" << seed << "warning: " << message << "</system-out>\n";
        break;
      case check_status::skipped:
        cases << ">\n      <skipped message=\"" << message << "\"/>\n";
        break;
      case check_status::failed:
        cases << ">\n      <failure message=\"" << message << "\" type=\""
              << (o.timed_out ? "timeout" : "failed") << "\">" << xml_text(o.job.c->description)
              << ": " << message << "\n"
              << seed << "</failure>\n";
        break;
      case check_status::crashed:
        cases << ">\n      <error message=\"" << message << "\" type=\"crashed\">" << message
              << "\n"
              << seed << "</error>\n";
        break;
    }
    cases << "    </testcase>\n";
  }
  return cases.str();
}

struct junit_totals {
  size_t tests = 0;
  uint32_t failures = 0;
  uint32_t errors = 0;
  uint32_t skipped = 0;
  double seconds = 0;

  void add(const check_run& run) {
    auto counts = tally(run);
    const bool not_checked = !run.not_checked.empty();
    tests += run.outcomes.size() + (not_checked ? 1 : 0);
    failures += counts[check_status::failed];
    errors += counts[check_status::crashed] + (not_checked ? 1 : 0);
    skipped += counts[check_status::skipped];
    seconds += run.seconds;
  }
  std::string attributes() const {
    return "tests=\"" + std::to_string(tests) + "\" failures=\"" + std::to_string(failures) +
           "\" errors=\"" + std::to_string(errors) + "\" skipped=\"" + std::to_string(skipped) +
           "\" time=\"" + seconds_text(seconds) + "\"";
  }
};

}  // namespace

std::string report_json(const std::vector<check_run>& runs) {
  nlohmann::json report;
  if (runs.size() == 1) {
    report = module_json(runs.front());
  } else {
    nlohmann::json modules = nlohmann::json::array();
    for (const check_run& run : runs) modules.push_back(module_json(run));
    report = {{"passed", runs_verdict(runs) == 0},
              {"seconds", total_seconds(runs)},
              {"modules", modules}};
  }
  return report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string report_junit(const std::vector<check_run>& runs) {
  junit_totals all;
  std::ostringstream suites;
  for (const check_run& run : runs) {
    junit_totals one;
    one.add(run);
    all.add(run);
    suites << "  <testsuite name=\"" << xml_text("quarlo_host check " + run.module_path) << "\" "
           << one.attributes() << ">\n"
           << junit_cases(run) << "  </testsuite>\n";
  }
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"quarlo_host check\" " +
         all.attributes() + ">\n" + suites.str() + "</testsuites>\n";
}

int run_verdict(const check_run& run) {
  if (!run.not_checked.empty()) return 2;
  for (const auto& o : run.outcomes) {
    const check_status s = effective_status(o, run.strict);
    if (s == check_status::failed || s == check_status::crashed) return 1;
  }
  return 0;
}

int runs_verdict(const std::vector<check_run>& runs) {
  int verdict = 0;
  for (const check_run& run : runs) verdict = std::max(verdict, run_verdict(run));
  return verdict;
}

}  // namespace quarlo_host
