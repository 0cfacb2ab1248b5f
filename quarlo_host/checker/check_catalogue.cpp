#include "quarlo_host/checker/check_catalogue.h"

#include "quarlo_host/checker/check_areas.h"

namespace quarlo_host {

const std::vector<check_case>& check_catalogue() {
  static const std::vector<check_case> cases = [] {
    struct area {
      std::vector<check_case> (*cases)();
      // Its cases run the commands in the host's main window.
      bool needs_window;
    };
    std::vector<check_case> all;
    for (const area a :
         {area{entry_cases, false}, area{client_cases, false}, area{factory_cases, false},
          area{command_cases, false}, area{settings_cases, false}, area{memory_cases, false},
          area{exception_cases, false}, area{run_cases, true}, area{process_cases, true},
          area{thread_cases, false}, area{sequence_cases, false}}) {
      for (check_case c : a.cases()) {
        c.needs_window = a.needs_window;
        all.push_back(c);
      }
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
