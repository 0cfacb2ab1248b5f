#include "quarlo_host/checker/check_case.h"

#include <string_view>
#include <utility>

namespace quarlo_host {

namespace {

constexpr check_status all_statuses[] = {check_status::passed, check_status::failed,
                                         check_status::skipped, check_status::warning,
                                         check_status::crashed};

}  // namespace

const char* status_name(check_status status) {
  switch (status) {
    case check_status::passed:
      return "passed";
    case check_status::failed:
      return "failed";
    case check_status::skipped:
      return "skipped";
    case check_status::warning:
      return "warning";
    case check_status::crashed:
      return "crashed";
  }
  return "failed";
}

bool parse_status(const std::string& name, check_status& out) {
  for (const check_status s : all_statuses) {
    if (name == status_name(s)) {
      out = s;
      return true;
    }
  }
  return false;
}

std::string case_area(const check_case& c) {
  const std::string_view id(c.id);
  return std::string(id.substr(0, id.find('.')));
}

check_result passed(std::string details) { return {check_status::passed, std::move(details)}; }
check_result failed(std::string details) { return {check_status::failed, std::move(details)}; }
check_result skipped(std::string details) { return {check_status::skipped, std::move(details)}; }
check_result warning(std::string details) { return {check_status::warning, std::move(details)}; }

check_result expected_got(const std::string& expected, const std::string& got) {
  return failed("expected " + expected + ", got " + got);
}

}  // namespace quarlo_host
