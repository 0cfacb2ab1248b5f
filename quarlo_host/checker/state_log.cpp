#include "quarlo_host/checker/state_log.h"

#include <algorithm>

namespace quarlo_host {

std::string describe(const state_change& change) {
  return change.call + " changed the " + change.aspect + " from " + change.before + " to " +
         change.after;
}

state_log::state_log(state_reading first) : last_(std::move(first)) {}

void state_log::after(const std::string& call, const state_reading& now) {
  for (const auto& reading : now) {
    const auto known = std::find_if(last_.begin(), last_.end(), [&](const auto& entry) {
      return entry.first == reading.first;
    });
    if (known == last_.end()) {
      last_.push_back(reading);
      continue;
    }
    if (known->second == reading.second) continue;
    changes_.push_back({reading.first, call, known->second, reading.second});
    known->second = reading.second;
  }
}

const state_change* first_change(const std::vector<state_change>& changes,
                                 const std::vector<std::string>& aspects) {
  const auto found = std::find_if(changes.begin(), changes.end(), [&](const state_change& c) {
    return std::find(aspects.begin(), aspects.end(), c.aspect) != aspects.end();
  });
  return found == changes.end() ? nullptr : &*found;
}

}  // namespace quarlo_host
