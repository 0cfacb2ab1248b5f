#include "quarlo_host/check_cases.h"

#include <exception>
#include <new>
#include <random>
#include <sstream>

#include "quarlo/exception_io.h"
#include "quarlo/mainmenu_commands.h"
#include "quarlo_host/core/guid_text.h"
#include "quarlo_host/runtime/heap_watch.h"
#include "quarlo_host/runtime/host_api_impl.h"
#include "quarlo_host/runtime/host_string.h"
#include "quarlo_host/runtime/loaded_module.h"
#include "quarlo_host/runtime/memory_streams.h"
#include "quarlo_host/runtime/read_pe_file.h"

namespace quarlo_host {

namespace {

constexpr uint32_t max_factories = 1000;

check_result pass(std::string details = {}) { return {check_status::passed, std::move(details)}; }
check_result fail(std::string details) { return {check_status::failed, std::move(details)}; }

// A module loaded with the heap watch and a host with a few named services.
struct session {
  explicit session(const check_context& context)
      : host(registry), module(context.module_path, host, true, context.abi) {
    registry.add({1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}}, "first");
  }

  service_registry registry;
  host_api_impl host;
  loaded_module module;
};

// The module's mainmenu_commands groups, each held by a reference.
std::vector<service_base*> command_groups(module_client& client) {
  std::vector<service_base*> groups;
  uint32_t n = 0;
  for (auto* f = client.first_factory(); f != nullptr && n < max_factories; f = f->next, ++n) {
    if (f->service_class == nullptr ||
        !quarlo::guid_equal(*f->service_class, mainmenu_commands::class_guid)) {
      continue;
    }
    service_ref instance;
    f->make_instance(instance);
    if (instance) groups.push_back(instance.get());
  }
  return groups;
}

std::vector<uint8_t> random_bytes(std::mt19937& random, size_t n) {
  std::vector<uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

check_result check_exports(const check_context& context) {
  const pe_listing pe = read_pe_file(context.module_path);
  if (pe.exports != std::vector<std::string>{"quarlo_get_interface"}) {
    std::string names;
    for (const auto& e : pe.exports) names += " " + e;
    return fail("exports:" + (names.empty() ? std::string(" none") : names));
  }
  return pass();
}

check_result check_shared_imports(const check_context& context) {
  for (const auto& dll : read_pe_file(context.module_path).imports) {
    if (_stricmp(dll.dll.c_str(), "quarlo_shared.dll") != 0) continue;
    for (const auto& name : dll.names) {
      if (name != "uGetDlgItemText" && name != "uSetDlgItemTextEx") {
        return fail("imports " + name + ", which quarlo_shared.dll does not offer");
      }
    }
    return pass(std::to_string(dll.names.size()) + " function(s)");
  }
  return {check_status::skipped, "does not use quarlo_shared.dll"};
}

check_result check_version(const check_context& context) {
  session s(context);
  const uint32_t first = s.module.client().client_version();
  for (int i = 0; i < 10; ++i) {
    if (s.module.client().client_version() != first) return fail("version changes between calls");
  }
  return pass("version " + std::to_string(first));
}

check_result check_debug_flag(const check_context& context) {
  session s(context);
  if (s.module.client().debug_build()) return {check_status::warning, "a debug build"};
  return pass();
}

check_result check_factories(const check_context& context) {
  session s(context);
  uint32_t n = 0;
  for (auto* f = s.module.client().first_factory(); f != nullptr; f = f->next, ++n) {
    const std::string at = "factory " + std::to_string(n);
    if (n == max_factories) return fail("chain longer than " + std::to_string(max_factories));
    if (f->service_class == nullptr) return fail(at + " has no class");
    service_ref instance;
    f->make_instance(instance);
    if (!instance) return fail(at + " made no instance");
    service_ref answer;
    if (!instance.get()->query(answer, *f->service_class) || answer.get() != instance.get()) {
      return fail(at + " instance does not answer " + format_guid(*f->service_class));
    }
  }
  return pass(std::to_string(n) + " factory record(s)");
}

check_result check_command_slots(const check_context& context) {
  session s(context);
  const auto groups = command_groups(s.module.client());
  if (groups.empty()) return {check_status::skipped, "no mainmenu_commands group"};
  uint32_t total = 0;
  for (service_base* base : groups) {
    auto& group = *static_cast<mainmenu_commands*>(base);
    const uint32_t count = group.command_count();
    for (uint32_t i = 0; i < count; ++i, ++total) {
      host_string name;
      group.command_name(i, name);
      if (name.text().empty()) return fail("command " + std::to_string(i) + " has no name");
      if (quarlo::guid_equal(group.command_guid(i), quarlo::null_guid)) {
        return fail("command " + std::to_string(i) + " has the null GUID");
      }
    }
    host_string past("unchanged");
    group.command_name(count, past);
    if (past.text() != "unchanged") return fail("command_name past the end wrote a name");
  }
  return pass(std::to_string(total) + " command(s)");
}

check_result check_run_releases(const check_context& context) {
  session s(context);
  const auto groups = command_groups(s.module.client());
  if (groups.empty()) return {check_status::skipped, "no mainmenu_commands group"};
  for (service_base* base : groups) {
    auto& group = *static_cast<mainmenu_commands*>(base);
    auto& callback = s.registry.at(0);
    service_ref passed;
    passed.assign(&callback);
    // An index past the end runs nothing, so no dialog can block the check.
    group.run_command(group.command_count(), std::move(passed));
    if (callback.outstanding() != 0) {
      return fail("run_command left the callback with " + std::to_string(callback.outstanding()) +
                  " extra reference(s)");
    }
  }
  return pass();
}

check_result check_location_texts(const check_context& context) {
  session s(context);
  const uint32_t start = heap_watch::live_blocks();
  const std::string long_text(100000, 'x');
  s.module.client().set_location_texts("abc", long_text.c_str());
  s.module.client().set_location_texts(long_text.c_str() + 5, "");
  s.module.client().set_location_texts("", "");
  if (heap_watch::live_blocks() != start) {
    return fail(std::to_string(heap_watch::live_blocks() - start) +
                " block(s) alive after setting empty texts");
  }
  return pass();
}

check_result check_location_failures(const check_context& context) {
  session s(context);
  auto& client = s.module.client();
  const uint32_t start = heap_watch::live_blocks();
  heap_watch::reset();
  client.set_location_texts("abc", "defg");
  const uint32_t calls = heap_watch::counts().fallible;
  client.set_location_texts("", "");
  for (uint32_t k = 1; k <= calls; ++k) {
    heap_watch::reset();
    heap_watch::fail_at(k);
    try {
      client.set_location_texts("abc", "defg");
      return fail("heap call " + std::to_string(k) + " failed but no bad_alloc came");
    } catch (const std::bad_alloc&) {
    }
    client.set_location_texts("", "");
    if (heap_watch::live_blocks() != start) {
      return fail("a block leaked after heap call " + std::to_string(k) + " failed");
    }
  }
  return pass(std::to_string(calls) + " failure point(s)");
}

check_result check_empty_stream(const check_context& context) {
  session s(context);
  memory_source source({});
  abort_signal abort;
  s.module.client().load_settings(source, abort);
  return pass();
}

check_result check_truncated_headers(const check_context& context) {
  session s(context);
  for (size_t n = 1; n < 20; ++n) {
    memory_source source(std::vector<uint8_t>(n, 0x11));
    abort_signal abort;
    try {
      s.module.client().load_settings(source, abort);
    } catch (const std::exception& e) {
      return fail("a stream of " + std::to_string(n) + " byte(s) threw: " + e.what());
    }
  }
  return pass();
}

check_result check_random_stream(const check_context& context) {
  session s(context);
  std::mt19937 random(context.seed);
  memory_source source(random_bytes(random, 4u << 20));
  abort_signal abort;
  try {
    s.module.client().load_settings(source, abort);
    return pass("ended normally");
  } catch (const quarlo_io::exception_io_data& e) {
    return pass(std::string("ended with stream data exception: ") + e.what());
  }
}

check_result check_round_trip(const check_context& context) {
  session s(context);
  abort_signal abort;
  memory_sink first;
  s.module.client().save_settings(first, abort);
  memory_source source(first.bytes());
  // A few bytes at a time: the module must not rely on long reads.
  source.set_read_limit(3);
  s.module.client().load_settings(source, abort);
  memory_sink second;
  s.module.client().save_settings(second, abort);
  if (second.bytes() != first.bytes()) return fail("save after load differs from the first save");
  return pass(std::to_string(first.bytes().size()) + " byte(s)");
}

check_result check_unload(const check_context& context) {
  const uint32_t start = heap_watch::live_blocks();
  {
    session s(context);
    s.module.client().set_location_texts("left for the exit list", "and another");
    memory_sink sink;
    abort_signal abort;
    s.module.client().save_settings(sink, abort);
  }
  const uint32_t left = heap_watch::live_blocks() - start;
  if (left != 0) return fail(std::to_string(left) + " block(s) never freed after unload");
  return pass();
}

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

const std::vector<check_case>& check_cases() {
  static const std::vector<check_case> cases = {
      {"entry.exports", "exports quarlo_get_interface and nothing else", check_exports},
      {"entry.shared_imports", "imports only the two text functions from quarlo_shared.dll",
       check_shared_imports},
      {"client.version", "reports the same client version on every call", check_version},
      {"client.debug_flag", "is a release build", check_debug_flag},
      {"factories.chain", "every factory record makes an instance that answers its class",
       check_factories},
      {"commands.slots", "every command has a name and a GUID; past the end writes nothing",
       check_command_slots},
      {"commands.run_releases", "run_command releases the callback it is passed",
       check_run_releases},
      {"location.texts", "location texts are copied and freed when emptied", check_location_texts},
      {"location.alloc_failure", "each failed heap call gives bad_alloc and leaks nothing",
       check_location_failures},
      {"settings.empty_stream", "loading an empty stream returns normally", check_empty_stream},
      {"settings.truncated_header", "a stream ending inside a header loads normally",
       check_truncated_headers},
      {"settings.random_bytes", "4 MiB of random bytes end normally or as stream data",
       check_random_stream},
      {"settings.round_trip", "save, load three bytes at a time, save: byte-identical",
       check_round_trip},
      {"unload.heap", "after unloading, every block the module allocated is freed", check_unload},
  };
  return cases;
}

check_result run_check_case(const check_case& c, const check_context& context) {
  try {
    return c.run(context);
  } catch (const std::exception& e) {
    return fail(std::string("exception: ") + e.what());
  } catch (...) {
    return fail("an exception of unknown type");
  }
}

}  // namespace quarlo_host
