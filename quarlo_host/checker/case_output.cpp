#include "quarlo_host/checker/case_output.h"

#include <cstdio>

#include <nlohmann/json.hpp>

namespace quarlo_host {

namespace {

constexpr size_t prefix_length = sizeof case_result_prefix - 1;

// The start of the last line that begins with the result prefix.
size_t result_line(const std::string& output) {
  for (size_t at = output.rfind(case_result_prefix); at != std::string::npos;
       at = at == 0 ? std::string::npos : output.rfind(case_result_prefix, at - 1)) {
    if (at == 0 || output[at - 1] == '\n') return at;
  }
  return std::string::npos;
}

// The result the output's result line holds; false when there is none, or
// none that reads.
bool printed_result(const std::string& output, check_result& result) {
  const size_t at = result_line(output);
  if (at == std::string::npos) return false;
  const size_t start = at + prefix_length;
  const std::string line = output.substr(start, output.find_first_of("\r\n", start) - start);
  const nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
  if (!parsed.is_object() || !parsed.value("status", nlohmann::json()).is_string() ||
      !parse_status(parsed["status"].get<std::string>(), result.status)) {
    return false;
  }
  const auto details = parsed.value("details", nlohmann::json());
  result.details = details.is_string() ? details.get<std::string>() : std::string();
  return true;
}

}  // namespace

std::string hex_code(uint32_t code) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
  return hex;
}

std::string case_result_line(const check_result& r) {
  const nlohmann::json line = {{"status", status_name(r.status)}, {"details", r.details}};
  return case_result_prefix + line.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace) +
         "\n";
}

check_result read_case_output(const std::string& output, uint32_t exit_code) {
  check_result printed{check_status::failed, {}};
  const bool has_result = printed_result(output, printed);
  if (has_result && exit_code == 0) return printed;
  // A crash reported by the case process itself already names its code.
  if (has_result && printed.status == check_status::crashed) return printed;
  const std::string ended = "the case process ended with exit code " + hex_code(exit_code);
  if (!has_result) return {check_status::crashed, ended + " and no result"};
  return {check_status::crashed, ended + " after its result, " + status_name(printed.status) +
                                     (printed.details.empty() ? "" : ": " + printed.details)};
}

}  // namespace quarlo_host
