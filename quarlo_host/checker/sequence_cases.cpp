// sequence: a seeded random sequence of the calls that need no window, in
// whatever order a long session of a host brings them.
#include <chrono>
#include <deque>
#include <exception>
#include <iterator>
#include <list>
#include <new>
#include <random>
#include <string>

#include "quarlo/exception_io.h"
#include "quarlo_host/checker/case_runner.h"
#include "quarlo_host/checker/check_areas.h"
#include "quarlo_host/checker/check_session.h"
#include "quarlo_host/checker/check_settings.h"
#include "quarlo_host/runtime/heap_watch.h"
#include "quarlo_host/runtime/host_string.h"

namespace quarlo_host {

namespace {

// Without --steps, the sequence runs about this long.
constexpr auto default_length = std::chrono::seconds(1);
// The steps a failure lists before the one that failed.
constexpr size_t steps_shown = 16;

// A failure at a step, with the step's name.
struct step_failure {
  std::string details;
};

// One sequence over one loaded module.
class sequence final {
 public:
  sequence(check_session& s, uint32_t seed)
      : s_(s), random_(seed), walk_(walk_factories(s.client())), unknown_(unknown_class(seed)) {}

  // Makes one random call; throws step_failure when the module broke the contract.
  void step() {
    switch (random_() % 10) {
      case 0:
        set_texts();
        break;
      case 1:
        last_save_ = save_of(s_);
        name("save");
        break;
      case 2:
        name("load of the last save");
        load(last_save_, false);
        break;
      case 3: {
        std::vector<uint8_t> cut = last_save_;
        cut.resize(cut.empty() ? 0 : random_() % cut.size());
        name("load of the last save cut to " + std::to_string(cut.size()) + " byte(s)");
        load(cut, true);
        break;
      }
      case 4: {
        const std::vector<uint8_t> bytes = random_bytes(random_, random_() % 512);
        name("load of " + std::to_string(bytes.size()) + " random byte(s)");
        load(bytes, true);
        break;
      }
      case 5: {
        const bool ready = random_() % 2 == 0;
        name(std::string("services_ready(") + (ready ? "true" : "false") + ")");
        s_.client().services_ready(ready);
        break;
      }
      case 6:
        query_command();
        break;
      case 7:
        take_reference();
        break;
      case 8:
        drop_reference();
        break;
      default:
        query_held();
        break;
    }
    // An unchanged state saves the same bytes every time.
    const std::vector<uint8_t> first = save_of(s_);
    const std::vector<uint8_t> second = save_of(s_);
    if (first != second) {
      throw step_failure{"two saves differ: " + describe_bytes(first) + ", then " +
                         describe_bytes(second)};
    }
  }

  // Gives back every reference the sequence took.
  void drop_all() { held_.clear(); }

  const std::string& last_step() const { return last_; }

 private:
  void name(std::string what) { last_ = std::move(what); }

  std::string random_text() {
    // Mostly short, now and then long; any byte but NUL, which ends the text.
    const size_t n = random_() % 8 == 0 ? random_() % 70000 : random_() % 300;
    std::string text(n, ' ');
    for (char& c : text) c = static_cast<char>(1 + random_() % 255);
    return text;
  }

  void set_texts() {
    const std::string first = random_text();
    const std::string second = random_text();
    name("set_location_texts of " + std::to_string(first.size()) + " and " +
         std::to_string(second.size()) + " byte(s)");
    s_.client().set_location_texts(first.c_str(), second.c_str());
  }

  // A load; where the bytes may be cut or foreign, the end of the data may
  // come out as the stream exceptions' exception_io_data.
  void load(const std::vector<uint8_t>& bytes, bool may_end_early) {
    try {
      load_from(s_, bytes);
    } catch (const quarlo_io::exception_io_data&) {
      if (!may_end_early) throw;
    }
  }

  void query_command() {
    const auto& groups = s_.command_groups();
    if (groups.empty()) return name("no command group to ask");
    const size_t g = random_() % groups.size();
    mainmenu_commands& group = check_session::group(groups[g]);
    const uint32_t count = group.command_count();
    const uint32_t index = random_() % 5 == 0 ? 0xFFFFFFFFu : random_() % (count + 2);
    name("the command slots of group " + std::to_string(g) + " at index " + std::to_string(index));
    group.command_guid(index);
    host_string text;
    group.command_name(index, text);
    group.command_description(index, text);
    uint32_t flags = 0;
    group.display_state(index, text, flags);
  }

  void take_reference() {
    if (!held_.empty() && random_() % 2 == 0) {
      const size_t i = random_() % held_.size();
      name("add_ref on held reference " + std::to_string(i));
      service_ref again;
      again.assign(held_at(i).get());
      held_.push_back(std::move(again));
      return;
    }
    if (walk_.records.empty()) return name("no factory to make an instance");
    const size_t n = random_() % walk_.records.size();
    name("make_instance of factory " + std::to_string(n));
    service_ref instance;
    walk_.records[n]->make_instance(instance);
    if (instance) held_.push_back(std::move(instance));
  }

  void drop_reference() {
    if (held_.empty()) return name("no reference to drop");
    const size_t i = random_() % held_.size();
    name("release of held reference " + std::to_string(i));
    held_.erase(std::next(held_.begin(), static_cast<std::ptrdiff_t>(i)));
  }

  void query_held() {
    if (held_.empty()) return name("no reference to query");
    const size_t i = random_() % held_.size();
    const bool own = random_() % 2 == 0;
    name(std::string("query of held reference ") + std::to_string(i) +
         (own ? " for its own class" : " for an unknown class"));
    service_ref out;
    service_base& object = *held_at(i).get();
    if (own) {
      for (service_factory_base* f : walk_.records) {
        if (f->service_class != nullptr) object.query(out, *f->service_class);
        out.reset();
      }
    } else {
      object.query(out, unknown_);
    }
  }

  service_ref& held_at(size_t i) {
    return *std::next(held_.begin(), static_cast<std::ptrdiff_t>(i));
  }

  check_session& s_;
  std::mt19937 random_;
  factory_walk walk_;
  GUID unknown_;
  std::vector<uint8_t> last_save_;
  // A list: references cannot be moved about as a vector's erase would.
  std::list<service_ref> held_;
  std::string last_;
};

std::string what_came_out() {
  try {
    throw;
  } catch (const step_failure& f) {
    return f.details;
  } catch (const std::bad_alloc&) {
    return "std::bad_alloc came out";
  } catch (const quarlo_io::exception_io& e) {
    return std::string("quarlo_io::exception_io came out: ") + e.what();
  } catch (const std::exception& e) {
    return std::string("an exception came out: ") + e.what();
  } catch (...) {
    return "an exception of unknown type came out";
  }
}

// The counts an add_ref/release pair on each command group returns.
std::string group_counts(check_session& s) {
  std::string counts;
  for (const service_ref& group : s.command_groups()) {
    const uint32_t added = group.get()->add_ref();
    counts += std::to_string(added) + "/" + std::to_string(group.get()->release()) + " ";
  }
  return counts;
}

check_result check_random_calls(const check_context& context) {
  std::deque<std::string> recent;
  uint32_t done = 0;
  const auto at = [&] {
    return "seed " + std::to_string(context.seed) + ", step " + std::to_string(done);
  };
  const auto replay = [&] {
    return "replay: --seed " + std::to_string(context.seed) + " --steps " + std::to_string(done);
  };
  const auto fail = [&](const std::string& details) {
    std::string steps;
    for (const auto& s : recent) steps += (steps.empty() ? "" : "; ") + s;
    return failed(at() + ": " + details + " (" + replay() + "; steps up to it: " + steps + ")");
  };
  uint64_t mark = 0;
  {
    check_session s(context);
    // What loading alone leaves is for the memory cases to find.
    mark = heap_watch::mark();
    const std::string counts = group_counts(s);
    sequence calls(s, context.seed);
    const auto until = std::chrono::steady_clock::now() + default_length;
    while (context.steps != 0 ? done < context.steps : std::chrono::steady_clock::now() < until) {
      ++done;
      // Should the module crash, the crash's report names this step.
      note_for_crash((at() + " (" + replay() + "), after: " + calls.last_step()).c_str());
      try {
        calls.step();
      } catch (...) {
        recent.push_back(calls.last_step());
        return fail(calls.last_step() + ": " + what_came_out());
      }
      recent.push_back(calls.last_step());
      if (recent.size() > steps_shown) recent.pop_front();
    }
    calls.drop_all();
    const std::string after = group_counts(s);
    if (after != counts) {
      return fail("after every reference was dropped, add_ref/release counted " + after +
                  "where they counted " + counts + "at the start");
    }
  }
  const uint32_t left = heap_watch::live_blocks_since(mark);
  if (left != 0) {
    return fail("unloading left " + std::to_string(left) + " block(s) of the sequence alive");
  }
  return passed(std::to_string(done) + " step(s)");
}

}  // namespace

std::vector<check_case> sequence_cases() {
  return {
      {"sequence.random_calls",
       "a seeded random sequence of calls keeps saves steady, counts balanced and frees all",
       "a host calls in any order over a long session; faults hide in orders no other case takes",
       check_random_calls},
  };
}

}  // namespace quarlo_host
