#include "quarlo_host/checker/check_catalogue.h"

#include "quarlo_host/checker/check_areas.h"

namespace quarlo_host {

const std::vector<check_case>& check_catalogue() {
  static const std::vector<check_case> cases = [] {
    std::vector<check_case> all;
    for (auto area :
         {entry_cases, client_cases, factory_cases, command_cases, settings_cases, memory_cases,
          exception_cases, run_cases, process_cases, thread_cases, sequence_cases}) {
      const std::vector<check_case> some = area();
      all.insert(all.end(), some.begin(), some.end());
    }
    return all;
  }();
  return cases;
}

const check_case* find_check_case(std::string_view id) {
  for (const auto& c : check_catalogue()) {
    if (id == c.id) return &c;
  }
  return nullptr;
}

}  // namespace quarlo_host
