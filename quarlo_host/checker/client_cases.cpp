// client: the module_client's own slots.
#include <string>

#include "quarlo_host/checker/check_areas.h"
#include "quarlo_host/checker/check_session.h"
#include "quarlo_host/runtime/heap_watch.h"

namespace quarlo_host {

namespace {

constexpr int repeats = 10;

check_result check_version_stable(const check_context& context) {
  check_session s(context);
  const uint32_t first = s.client().client_version();
  for (int i = 0; i < repeats; ++i) {
    const uint32_t again = s.client().client_version();
    if (again != first) return expected_got(std::to_string(first), std::to_string(again));
  }
  return passed("version " + std::to_string(first));
}

check_result check_debug_build(const check_context& context) {
  check_session s(context);
  if (s.client().debug_build()) return warning("the client reports a debug build");
  return passed();
}

check_result check_first_factory_stable(const check_context& context) {
  check_session s(context);
  service_factory_base* first = s.client().first_factory();
  for (int i = 0; i < repeats; ++i) {
    if (s.client().first_factory() != first) {
      return expected_got("the same factory record on every call", "another");
    }
  }
  return passed(first == nullptr ? "no factory" : "");
}

check_result check_services_ready(const check_context& context) {
  check_session s(context);
  for (const bool ready : {true, false, true, true, false}) s.client().services_ready(ready);
  return passed();
}

check_result check_location_texts(const check_context& context) {
  check_session s(context);
  const std::string long_text(1 << 20, 'x');
  s.client().set_location_texts("C:\\quarlo\\profile", "caf\xC3\xA9 \xE2\x9C\x93");
  s.client().set_location_texts(long_text.c_str(), long_text.c_str() + 7);
  s.client().set_location_texts("", "");
  return passed();
}

check_result check_location_texts_no_growth(const check_context& context) {
  check_session s(context);
  s.client().set_location_texts("first location", "second location");
  const uint32_t live = heap_watch::live_blocks();
  for (int i = 0; i < 50; ++i) {
    s.client().set_location_texts(i % 2 ? "first location" : "another first", "second location");
  }
  s.client().set_location_texts("first location", "second location");
  const uint32_t now = heap_watch::live_blocks();
  if (now != live) {
    return expected_got(std::to_string(live) + " live block(s) after 50 settings",
                        std::to_string(now));
  }
  return passed();
}

}  // namespace

std::vector<check_case> client_cases() {
  return {
      {"client.version_stable", "reports the same client version on every call",
       "the host decides once what the module supports", check_version_stable},
      {"client.debug_build", "is a release build",
       "a debug build is slower and may stop the host on assertions (warning)", check_debug_build},
      {"client.first_factory_stable", "first_factory returns the same record each time",
       "the host walks the chain more than once and keeps what it found",
       check_first_factory_stable},
      {"client.services_ready", "services_ready(true/false) returns normally",
       "the host tells the module as its services come and go", check_services_ready},
      {"client.location_texts", "accepts empty, UTF-8 and 1 MiB location texts",
       "the host hands over whatever paths and names its user has", check_location_texts},
      {"client.location_texts_no_growth",
       "setting location texts again and again holds no more blocks",
       "the host sets them whenever they change, for the whole session",
       check_location_texts_no_growth},
  };
}

}  // namespace quarlo_host
