// memory: allocation failure, leaks and unloading, under the heap watch.
#include <functional>
#include <new>
#include <optional>
#include <string>

#include "quarlo_host/checker/check_areas.h"
#include "quarlo_host/checker/check_session.h"
#include "quarlo_host/checker/check_settings.h"
#include "quarlo_host/runtime/heap_watch.h"
#include "quarlo_host/runtime/host_string.h"

namespace quarlo_host {

namespace {

// Makes each of the module's fallible heap calls in action fail in turn:
// action must let std::bad_alloc out, and after it redo (action again,
// succeeding) must leave as many live blocks as a plain run does.
check_result sweep(const std::function<void()>& action, const std::function<void()>& redo) {
  heap_watch::reset();
  action();
  const uint32_t calls = heap_watch::counts().fallible;
  redo();
  const uint32_t live = heap_watch::live_blocks();
  for (uint32_t k = 1; k <= calls; ++k) {
    heap_watch::reset();
    heap_watch::fail_at(k);
    try {
      action();
      if (heap_watch::counts().failed != 0) {
        return expected_got("std::bad_alloc after heap call " + std::to_string(k) + " failed",
                            "a normal return");
      }
    } catch (const std::bad_alloc&) {
    }
    heap_watch::fail_at(0);
    redo();
    if (heap_watch::live_blocks() != live) {
      return expected_got(
          std::to_string(live) + " live block(s) after heap call " + std::to_string(k) + " failed",
          std::to_string(heap_watch::live_blocks()));
    }
  }
  return passed(calls == 0 ? "no heap call" : std::to_string(calls) + " failure point(s)");
}

// A module whose heap the watch cannot see (it imports no allocator the watch
// knows: a static C runtime, say) cannot be judged by these cases.
bool watch_blind(check_session& s) { return s.module().watched_imports() == 0; }

check_result blind() {
  return warning(
      "the heap watch sees none of the module's heap calls: it imports no allocator the watch "
      "knows (msvcrt.dll's malloc family, HeapAlloc, LocalAlloc, GlobalAlloc or "
      "CoTaskMemAlloc; a static C runtime?), so the memory cases could not look");
}

check_result check_location_failure(const check_context& context) {
  check_session s(context);
  if (watch_blind(s)) return blind();
  // From empty texts each time, so the module has to allocate again.
  const auto set = [&] {
    s.client().set_location_texts("", "");
    s.client().set_location_texts("C:\\quarlo\\profile", "second text");
  };
  return sweep(set, set);
}

check_result check_save_failure(const check_context& context) {
  check_session s(context);
  if (watch_blind(s)) return blind();
  const auto save = [&] { save_of(s); };
  return sweep(save, save);
}

check_result check_load_failure(const check_context& context) {
  check_session s(context);
  if (watch_blind(s)) return blind();
  const std::vector<uint8_t> saved = save_of(s);
  if (saved.empty()) return skipped("the module saves no record");
  const auto load = [&] { load_from(s, saved); };
  return sweep(load, load);
}

check_result check_instance_failure(const check_context& context) {
  check_session s(context);
  if (watch_blind(s)) return blind();
  const factory_walk walk = walk_factories(s.client());
  if (walk.records.empty()) return skipped("no factory record");
  for (service_factory_base* f : walk.records) {
    const auto make = [f] {
      service_ref instance;
      f->make_instance(instance);
    };
    const check_result r = sweep(make, make);
    if (r.status != check_status::passed) return r;
  }
  return passed();
}

check_result check_commands_no_leak(const check_context& context) {
  check_session s(context);
  if (watch_blind(s)) return blind();
  const uint32_t live = heap_watch::live_blocks();
  {
    // References of its own, given back before counting.
    const factory_walk walk = walk_factories(s.client());
    for (service_factory_base* f : walk.records) {
      service_ref instance;
      f->make_instance(instance);
      if (!instance || f->service_class == nullptr ||
          !quarlo::guid_equal(*f->service_class, mainmenu_commands::class_guid)) {
        continue;
      }
      auto& group = check_session::group(instance);
      for (uint32_t i = 0, n = group.command_count(); i < n; ++i) {
        host_string name;
        group.command_name(i, name);
        host_string text;
        uint32_t flags = 0;
        group.display_state(i, text, flags);
        group.command_description(i, text);
      }
    }
  }
  if (heap_watch::live_blocks() != live) {
    return expected_got(std::to_string(live) + " live block(s) after every group was released",
                        std::to_string(heap_watch::live_blocks()));
  }
  return passed();
}

// Loads, exercises and unloads the module; the blocks it left alive, or
// none when the watch cannot see its heap.
std::optional<uint32_t> blocks_left_by_a_session(const check_context& context) {
  const uint32_t start = heap_watch::live_blocks();
  {
    check_session s(context);
    if (watch_blind(s)) return std::nullopt;
    s.client().set_location_texts("left for unloading", "and another");
    s.command_groups();
    save_of(s);
  }
  return heap_watch::live_blocks() - start;
}

check_result check_unload(const check_context& context) {
  const std::optional<uint32_t> seen = blocks_left_by_a_session(context);
  if (!seen) return blind();
  const uint32_t left = *seen;
  if (left != 0) return expected_got("every block freed at unload", std::to_string(left) + " left");
  return passed();
}

check_result check_reload(const check_context& context) {
  std::string left;
  uint32_t total = 0;
  for (int i = 0; i < 3; ++i) {
    const std::optional<uint32_t> seen = blocks_left_by_a_session(context);
    if (!seen) return blind();
    const uint32_t n = *seen;
    total += n;
    left += (i == 0 ? "" : ", ") + std::to_string(n);
  }
  if (total != 0) return expected_got("no block left by any of 3 loads", left);
  return passed();
}

}  // namespace

std::vector<check_case> memory_cases() {
  return {
      {"memory.location_alloc_failure",
       "set_location_texts lets bad_alloc out of each failed heap call and leaks nothing",
       "a swallowed failure leaves the module with texts it never got", check_location_failure},
      {"memory.save_alloc_failure",
       "save_settings lets bad_alloc out of each failed heap call and leaks nothing",
       "the host must know a save failed rather than keep a short one", check_save_failure},
      {"memory.load_alloc_failure",
       "load_settings lets bad_alloc out of each failed heap call and leaks nothing",
       "a load that fails silently leaves settings half-read", check_load_failure},
      {"memory.instance_alloc_failure",
       "make_instance lets bad_alloc out of each failed heap call and leaks nothing",
       "the host survives low memory only if failures reach it", check_instance_failure},
      {"memory.commands_no_leak",
       "reading every command and releasing the groups leaves no block alive",
       "the host rebuilds its menus many times in a session", check_commands_no_leak},
      {"memory.unload_frees_all", "every block the module allocated is freed at unload",
       "hosts unload and reload modules without restarting", check_unload},
      {"memory.reload_no_growth", "three loads and unloads in one process leave nothing",
       "a module reloaded on every profile switch must not grow the host", check_reload},
  };
}

}  // namespace quarlo_host
