// The state a host owns in its process and a module must leave as it found
// it (the current directory, the locales, the floating-point control words,
// ...), read as text before the first call into the module and after each
// call: every value that differs from its last reading is a change, kept
// with the call that made it.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quarlo_host {

// Each aspect's name, as reports give it, with its value.
using state_reading = std::vector<std::pair<std::string, std::string>>;

struct state_change {
  std::string aspect;
  std::string call;
  std::string before;
  std::string after;
};

// "CALL changed the ASPECT from BEFORE to AFTER", for details.
std::string describe(const state_change& change);

// The first of changes to one of aspects, or null.
const state_change* first_change(const std::vector<state_change>& changes,
                                 const std::vector<std::string>& aspects);

class state_log final {
 public:
  explicit state_log(state_reading first);

  // The state as read after call. An aspect missing from an earlier reading
  // starts with this one.
  void after(const std::string& call, const state_reading& now);
  // Every change so far, in the order made.
  const std::vector<state_change>& changes() const { return changes_; }

 private:
  state_reading last_;
  std::vector<state_change> changes_;
};

}  // namespace quarlo_host
