// exceptions: the host's exceptions through the module and the module's to
// the host, each caught by its type.
#include <new>
#include <string>

#include "quarlo/exception_io.h"
#include "quarlo_host/checker/check_areas.h"
#include "quarlo_host/checker/check_session.h"
#include "quarlo_host/checker/check_settings.h"
#include "quarlo_host/runtime/heap_watch.h"

namespace quarlo_host {

namespace {

constexpr char planted_message[] = "planted by the checker";

// A stream of one unknown record, so loading reads at least two headers.
std::vector<uint8_t> one_unknown_record() {
  return join_records({{std::vector<uint8_t>(16, 0xC4), {1, 2, 3}}});
}

// Loads with a throw planted at each call of the source in turn; check tells
// whether what came out (nothing, or the caught exception) is right.
std::string at_call(uint32_t k) { return " at source call " + std::to_string(k); }

template <typename Thrower, typename Check>
check_result each_source_call(const check_context& context, Thrower thrower, Check check) {
  check_session s(context);
  check_source probe(one_unknown_record());
  abort_signal abort;
  // Only counts the calls: a module that lets the end of the data out is
  // another case's finding.
  try {
    s.client().load_settings(probe, abort);
  } catch (const quarlo_io::exception_io_data&) {
  }
  for (uint32_t k = 1; k <= probe.calls().size(); ++k) {
    check_source source(one_unknown_record());
    source.plant(k, thrower);
    const check_result r = check(s, source, k);
    if (r.status != check_status::passed) return r;
  }
  return passed(std::to_string(probe.calls().size()) + " call(s)");
}

check_result check_host_data_caught(const check_context& context) {
  return each_source_call(
      context, [] { throw quarlo_io::exception_io_data(planted_message); },
      [](check_session& s, check_source& source, uint32_t k) {
        abort_signal abort;
        try {
          s.client().load_settings(source, abort);
        } catch (const quarlo_io::exception_io_data& e) {
          // Only a header read ends loading; a failed skip may leave it.
          if (source.calls()[k - 1].kind != source_call::read_exact) return passed();
          return expected_got(
              "exception_io_data at a header read" + at_call(k) + " ending loading normally",
              std::string("it came out: ") + e.what());
        }
        return passed();
      });
}

check_result check_host_io_passes(const check_context& context) {
  return each_source_call(
      context, [] { throw quarlo_io::exception_io(planted_message); },
      [](check_session& s, check_source& source, uint32_t k) {
        abort_signal abort;
        try {
          s.client().load_settings(source, abort);
        } catch (const quarlo_io::exception_io_data& e) {
          return expected_got("the host's exception_io" + at_call(k),
                              std::string("exception_io_data: ") + e.what());
        } catch (const quarlo_io::exception_io& e) {
          if (std::string(e.what()) != planted_message) {
            return expected_got(std::string("\"") + planted_message + "\"" + at_call(k),
                                std::string("\"") + e.what() + "\"");
          }
          return passed();
        }
        return expected_got("the host's exception_io" + at_call(k), "a normal return");
      });
}

check_result check_host_bad_alloc_passes(const check_context& context) {
  return each_source_call(
      context, [] { throw std::bad_alloc(); },
      [](check_session& s, check_source& source, uint32_t k) {
        abort_signal abort;
        try {
          s.client().load_settings(source, abort);
        } catch (const std::bad_alloc&) {
          return passed();
        }
        return expected_got("std::bad_alloc" + at_call(k), "a normal return");
      });
}

check_result check_sink_throws(const check_context& context) {
  check_session s(context);
  check_sink probe;
  abort_signal abort;
  s.client().save_settings(probe, abort);
  if (probe.writes() == 0) return skipped("the module writes nothing");
  const uint32_t live = heap_watch::live_blocks();
  for (uint32_t k = 1; k <= probe.writes(); ++k) {
    check_sink sink;
    sink.plant(k, [] { throw quarlo_io::exception_io(planted_message); });
    try {
      s.client().save_settings(sink, abort);
      return expected_got("the sink's exception_io at write " + std::to_string(k),
                          "a normal return");
    } catch (const quarlo_io::exception_io& e) {
      if (std::string(e.what()) != planted_message) {
        return expected_got(std::string("\"") + planted_message + "\"",
                            std::string("\"") + e.what() + "\"");
      }
    }
    if (heap_watch::live_blocks() != live) {
      return expected_got(
          std::to_string(live) + " live block(s) after write " + std::to_string(k) + " threw",
          std::to_string(heap_watch::live_blocks()));
    }
  }
  return passed(std::to_string(probe.writes()) + " write(s)");
}

check_result check_cut_own_record(const check_context& context) {
  check_session s(context);
  const std::vector<settings_record> own = saved_records(s);
  size_t with_payload = 0;
  while (with_payload < own.size() && own[with_payload].payload.empty()) ++with_payload;
  if (with_payload == own.size()) return skipped("the module saves no record with a payload");
  std::vector<uint8_t> bytes = join_records({own[with_payload]});
  bytes.pop_back();
  try {
    load_from(s, bytes);
  } catch (const quarlo_io::exception_io_data&) {
    return passed();
  }
  return expected_got("exception_io_data, caught by the host's type", "a normal return");
}

}  // namespace

std::vector<check_case> exception_cases() {
  return {
      {"exceptions.host_data_caught",
       "the host's exception_io_data at a header ends loading normally",
       "that exception is how the host's stream says it has ended", check_host_data_caught},
      {"exceptions.host_io_passes",
       "the host's exception_io from its stream comes out of load_settings unchanged",
       "a read error must reach the host, not pass for the end of the settings",
       check_host_io_passes},
      {"exceptions.host_bad_alloc_passes",
       "std::bad_alloc from the host's stream comes out of load_settings",
       "the host handles its own memory failures", check_host_bad_alloc_passes},
      {"exceptions.sink_throws",
       "an exception_io from the sink at any write comes out unchanged and leaks nothing",
       "a full disk must fail the save, not lose memory", check_sink_throws},
      {"exceptions.cut_own_record",
       "its own record cut short ends loading with exception_io_data of the host's type",
       "the host tells a damaged file from a read error by the exception's type",
       check_cut_own_record},
  };
}

}  // namespace quarlo_host
