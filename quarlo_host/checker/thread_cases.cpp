// threads: the calls that need no window, made from a thread the checker
// starts after loading the module, against the same calls on the loading thread.
#include <exception>
#include <string>
#include <thread>
#include <utility>

#include "quarlo_host/checker/check_areas.h"
#include "quarlo_host/checker/check_session.h"
#include "quarlo_host/checker/check_settings.h"
#include "quarlo_host/core/guid_text.h"
#include "quarlo_host/runtime/heap_watch.h"
#include "quarlo_host/runtime/host_string.h"

namespace quarlo_host {

namespace {

// Runs work on a thread of its own and waits for it; what work returns or
// throws comes out here.
template <typename Work>
auto on_another_thread(Work work) {
  decltype(work()) result{};
  std::exception_ptr failure;
  std::thread([&] {
    try {
      result = work();
    } catch (...) {
      failure = std::current_exception();
    }
  }).join();
  if (failure) std::rethrow_exception(failure);
  return result;
}

// The same answers on both threads, else what each gave.
check_result same_answers(const std::string& what, const std::string& loading,
                          const std::string& other) {
  if (loading == other) return passed();
  return expected_got(what + " as on the loading thread: " + loading, other);
}

std::string chain_text(module_client& client) {
  const factory_walk walk = walk_factories(client);
  std::string text = std::to_string(walk.records.size()) + " record(s)";
  for (service_factory_base* f : walk.records) {
    text +=
        " " + (f->service_class == nullptr ? std::string("null") : format_guid(*f->service_class));
  }
  return text + (walk.looped ? " looped" : "");
}

// What an instance from f answers: made or not, its own class, an unknown
// class, and the counts around an add_ref/release pair.
std::string instance_answers(service_factory_base& f, const GUID& unknown) {
  service_ref instance;
  f.make_instance(instance);
  if (!instance) return "no instance";
  service_ref own;
  const bool answers_own =
      f.service_class != nullptr && instance.get()->query(own, *f.service_class);
  service_ref other;
  const bool answers_unknown = instance.get()->query(other, unknown);
  const uint32_t added = instance.get()->add_ref();
  const uint32_t released = instance.get()->release();
  return std::string("own class ") +
         (answers_own && own.get() == instance.get() ? "itself" : "not") + ", unknown class " +
         (answers_unknown || other ? "answered" : "refused") + ", counts " +
         std::to_string(added - released);
}

// Everything a command group tells the host, in one line.
std::string group_answers(mainmenu_commands& group) {
  const uint32_t count = group.command_count();
  std::string text = format_guid(group.parent_group()) + " priority " +
                     std::to_string(group.sort_priority()) + " count " + std::to_string(count);
  for (uint32_t i = 0; i <= count; ++i) {
    host_string name;
    group.command_name(i, name);
    host_string description;
    const bool described = group.command_description(i, description);
    host_string state;
    uint32_t flags = 0;
    const bool shown = group.display_state(i, state, flags);
    text += "; " + std::to_string(i) + " " + format_guid(group.command_guid(i)) + " \"" +
            name.text() + "\" " + (described ? "\"" + description.text() + "\"" : "-") + " " +
            (shown ? "\"" + state.text() + "\" " + std::to_string(flags) : "-");
  }
  return text;
}

check_result check_entry(const check_context& context) {
  check_session s(context);
  module_client* again = on_another_thread([&] { return s.module().enter(s.host()); });
  if (again != &s.client()) {
    return expected_got("the loading thread's client", again == nullptr ? "null" : "another");
  }
  return passed();
}

check_result check_factories(const check_context& context) {
  check_session s(context);
  const std::string loading = chain_text(s.client());
  return same_answers("the factory chain", loading,
                      on_another_thread([&] { return chain_text(s.client()); }));
}

check_result check_instances(const check_context& context) {
  check_session s(context);
  const factory_walk walk = walk_factories(s.client());
  if (walk.records.empty()) return skipped("no factory record");
  const GUID unknown = unknown_class(context.seed);
  for (size_t n = 0; n < walk.records.size(); ++n) {
    service_factory_base& f = *walk.records[n];
    const std::string loading = instance_answers(f, unknown);
    const uint32_t live = heap_watch::live_blocks();
    const std::string other = on_another_thread([&] { return instance_answers(f, unknown); });
    check_result r = same_answers("factory " + std::to_string(n) + ": an instance", loading, other);
    if (r.status != check_status::passed) return r;
    if (heap_watch::live_blocks() != live) {
      return expected_got(std::to_string(live) + " live block(s) after the instance was released",
                          std::to_string(heap_watch::live_blocks()));
    }
  }
  return passed(std::to_string(walk.records.size()) + " record(s)");
}

check_result check_commands(const check_context& context) {
  check_session s(context);
  const auto& groups = s.command_groups();
  if (groups.empty()) return skipped("no mainmenu_commands group");
  for (size_t g = 0; g < groups.size(); ++g) {
    mainmenu_commands& group = check_session::group(groups[g]);
    const std::string loading = group_answers(group);
    check_result r = same_answers("group " + std::to_string(g) + " answering", loading,
                                  on_another_thread([&] { return group_answers(group); }));
    if (r.status != check_status::passed) return r;
  }
  return passed(std::to_string(groups.size()) + " group(s)");
}

check_result check_location_texts(const check_context& context) {
  check_session s(context);
  s.client().set_location_texts("C:\\quarlo\\profile", "caf\xC3\xA9");
  const uint32_t live = heap_watch::live_blocks();
  on_another_thread([&] {
    for (int i = 0; i < 20; ++i) s.client().set_location_texts(i % 2 ? "another" : "", "text");
    s.client().set_location_texts("C:\\quarlo\\profile", "caf\xC3\xA9");
    return 0;
  });
  if (heap_watch::live_blocks() != live) {
    return expected_got(std::to_string(live) + " live block(s), as after setting them here",
                        std::to_string(heap_watch::live_blocks()));
  }
  return passed();
}

check_result check_settings(const check_context& context) {
  check_session s(context);
  const std::vector<uint8_t> loading = save_of(s);
  const std::vector<uint8_t> other = on_another_thread([&] { return save_of(s); });
  if (other != loading) {
    return expected_got("the loading thread's save, " + describe_bytes(loading),
                        describe_bytes(other));
  }
  on_another_thread([&] {
    load_from(s, loading);
    return 0;
  });
  const std::vector<uint8_t> again = save_of(s);
  if (again != loading) {
    return expected_got("after a load on another thread, the same save, " + describe_bytes(loading),
                        describe_bytes(again));
  }
  return passed(describe_bytes(loading));
}

}  // namespace

std::vector<check_case> thread_cases() {
  return {
      {"threads.entry", "quarlo_get_interface on another thread returns the same client",
       "the host may enter a module from any thread of its own", check_entry},
      {"threads.factories", "the factory chain walked on another thread is the same",
       "a host that finds no services on its worker threads cannot use them there",
       check_factories},
      {"threads.instances",
       "instances made and queried on another thread answer the same, counts balanced",
       "the host makes instances on whichever thread needs them", check_instances},
      {"threads.commands", "command groups answer the same on another thread",
       "the host may build its menus on a thread other than the loading one", check_commands},
      {"threads.location_texts",
       "location texts set on another thread hold no more blocks than set here",
       "the host hands over paths from whichever thread learns of them", check_location_texts},
      {"threads.settings", "saves and loads on another thread give the same bytes",
       "the host saves its configuration from a worker thread", check_settings},
  };
}

}  // namespace quarlo_host
