// Reading the human report of `quarlo_host check` in tests.
#pragma once

#include <map>
#include <sstream>
#include <string>

struct report_line {
  std::string status;
  std::string details;  // everything after "ID: "
};

// The "STATUS ID: DESCRIPTION ..." lines of a report, by case id.
inline std::map<std::string, report_line> report_lines(const std::string& report) {
  std::map<std::string, report_line> out;
  std::istringstream lines(report);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t blank = line.find(' ');
    const size_t colon = line.find(": ");
    if (blank == std::string::npos || colon == std::string::npos || colon < blank) continue;
    out[line.substr(blank + 1, colon - blank - 1)] = {line.substr(0, blank),
                                                      line.substr(colon + 2)};
  }
  return out;
}

// The status of each case, by case id.
inline std::map<std::string, std::string> statuses(const std::string& report) {
  std::map<std::string, std::string> out;
  for (const auto& [id, line] : report_lines(report)) out[id] = line.status;
  return out;
}
