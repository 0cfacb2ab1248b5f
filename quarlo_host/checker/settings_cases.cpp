// settings: the settings stream, saved and loaded through the host's streams.
#include <random>
#include <string>

#include "quarlo/exception_io.h"
#include "quarlo_host/checker/check_areas.h"
#include "quarlo_host/checker/check_session.h"
#include "quarlo_host/checker/check_settings.h"
#include "quarlo_host/checker/check_streams.h"
#include "quarlo_host/checker/settings_records.h"

namespace quarlo_host {

namespace {

check_result check_empty_stream(const check_context& context) {
  check_session s(context);
  load_from(s, {});
  return passed();
}

check_result check_cut_header(const check_context& context) {
  check_session s(context);
  std::mt19937 random(context.seed);
  for (size_t n = 1; n < 20; ++n) {
    // A header of an unknown record, and one of the module's own when it has any.
    load_from(s, random_bytes(random, n));
    const std::vector<settings_record> own = saved_records(s);
    if (!own.empty()) {
      const std::vector<uint8_t> header = record_header(own.front());
      load_from(s, {header.begin(), header.begin() + static_cast<long>(n)});
    }
  }
  return passed();
}

check_result check_unknown_records(const check_context& context) {
  check_session s(context);
  std::mt19937 random(context.seed);
  std::vector<settings_record> records;
  for (const size_t length : {0, 3, 258}) {
    records.push_back({random_bytes(random, 16), random_bytes(random, length)});
  }
  check_source source(join_records(records));
  abort_signal abort;
  s.client().load_settings(source, abort);
  std::string skips;
  for (const source_call& call : source.calls()) {
    if (call.kind == source_call::read_exact) continue;
    if (call.kind == source_call::skip_exact && call.count == 0) continue;
    skips += (skips.empty() ? "" : ", ") + std::string(source_call_name(call.kind)) + " " +
             std::to_string(call.count);
  }
  if (skips != "skip_exact 3, skip_exact 258") {
    return expected_got("skip_exact 3, skip_exact 258", skips.empty() ? "no skip" : skips);
  }
  if (source.position() != source.size()) {
    return expected_got("the whole stream read", std::to_string(source.position()) + " of " +
                                                     std::to_string(source.size()) + " bytes");
  }
  return passed();
}

check_result check_save_format(const check_context& context) {
  check_session s(context);
  const std::vector<uint8_t> saved = save_of(s);
  std::vector<settings_record> records;
  if (!split_records(saved, records)) {
    return expected_got("records of GUID, size and payload",
                        std::to_string(saved.size()) + " bytes that do not split into records");
  }
  return passed(std::to_string(records.size()) + " record(s)");
}

check_result check_saves_identical(const check_context& context) {
  check_session s(context);
  const std::vector<uint8_t> first = save_of(s);
  const std::vector<uint8_t> second = save_of(s);
  if (first != second) return expected_got(describe_bytes(first), describe_bytes(second));
  return passed(std::to_string(first.size()) + " byte(s)");
}

check_result check_round_trip(const check_context& context) {
  check_session s(context);
  const std::vector<uint8_t> first = save_of(s);
  for (const uint32_t limit : {1u, 3u, 17u}) {
    load_from(s, first, limit);
    const std::vector<uint8_t> again = save_of(s);
    if (again != first) {
      return expected_got(
          describe_bytes(first) + " after a load in reads of " + std::to_string(limit),
          describe_bytes(again));
    }
  }
  return passed(std::to_string(first.size()) + " byte(s)");
}

check_result check_unknown_around_own(const check_context& context) {
  check_session s(context);
  const std::vector<uint8_t> first = save_of(s);
  std::vector<settings_record> records;
  split_records(first, records);
  if (records.empty()) return skipped("the module saves no record");
  std::mt19937 random(context.seed);
  std::vector<settings_record> mixed;
  for (const auto& record : records) {
    mixed.push_back({random_bytes(random, 16), random_bytes(random, 5)});
    mixed.push_back(record);
  }
  mixed.push_back({random_bytes(random, 16), {}});
  load_from(s, join_records(mixed));
  const std::vector<uint8_t> again = save_of(s);
  if (again != first) return expected_got(describe_bytes(first), describe_bytes(again));
  return passed();
}

check_result check_own_record_bounded(const check_context& context) {
  check_session s(context);
  std::vector<settings_record> own;
  split_records(save_of(s), own);
  if (own.empty()) return skipped("the module saves no record");
  // Records of its own with the payload it saves, shorter ones (down to none)
  // and a longer one, each followed by an unknown record of three bytes: the
  // module must read no further than each record's size says.
  std::mt19937 random(context.seed);
  std::vector<settings_record> records;
  std::vector<uint64_t> starts;
  uint64_t at = 0;
  const auto add = [&](const settings_record& r) {
    starts.push_back(at);
    at += 20 + r.payload.size();
    records.push_back(r);
    records.push_back({random_bytes(random, 16), {1, 2, 3}});
    starts.push_back(at);
    at += 23;
  };
  for (const auto& record : own) {
    add(record);
    for (size_t n = 0; n < record.payload.size(); ++n) {
      add({record.guid, {record.payload.begin(), record.payload.begin() + static_cast<long>(n)}});
    }
    settings_record longer = record;
    longer.payload.resize(longer.payload.size() + 5, 0);
    add(longer);
  }
  check_source source(join_records(records));
  abort_signal abort;
  s.client().load_settings(source, abort);
  size_t next = 0;
  for (const source_call& call : source.calls()) {
    if (call.kind != source_call::read_exact || call.count != 16 || next == starts.size()) {
      continue;
    }
    if (call.position != starts[next]) {
      return expected_got("record " + std::to_string(next) + "'s header read at byte " +
                              std::to_string(starts[next]),
                          "at byte " + std::to_string(call.position));
    }
    ++next;
  }
  if (next != starts.size()) {
    return expected_got(std::to_string(starts.size()) + " record headers read",
                        std::to_string(next));
  }
  return passed();
}

check_result check_cut_unknown_record(const check_context& context) {
  check_session s(context);
  std::mt19937 random(context.seed);
  std::vector<uint8_t> bytes = join_records({{random_bytes(random, 16), random_bytes(random, 40)}});
  bytes.resize(bytes.size() - 10);
  try {
    load_from(s, bytes);
  } catch (const quarlo_io::exception_io_data&) {
    return passed();
  }
  return expected_got("quarlo_io::exception_io_data from the cut record", "a normal return");
}

check_result check_random_bytes(const check_context& context) {
  check_session s(context);
  std::mt19937 random(context.seed);
  try {
    load_from(s, random_bytes(random, 4u << 20));
    return passed("ended normally");
  } catch (const quarlo_io::exception_io_data& e) {
    return passed(std::string("ended with stream data exception: ") + e.what());
  }
}

}  // namespace

std::vector<check_case> settings_cases() {
  return {
      {"settings.empty_stream", "loading an empty stream returns normally",
       "a new profile hands every module an empty stream", check_empty_stream},
      {"settings.cut_header", "a stream ending 1 to 19 bytes into a header loads",
       "a crash while saving leaves such files behind", check_cut_header},
      {"settings.unknown_records",
       "records of unknown GUIDs (0, 3, 258 bytes) are stepped over with skip_exact",
       "settings of other versions must pass through untouched", check_unknown_records},
      {"settings.save_format", "a save splits exactly into GUID, size, payload",
       "the host and other versions read the stream record by record", check_save_format},
      {"settings.saves_identical", "two saves give the same bytes",
       "the host compares saves to know whether the profile changed", check_saves_identical},
      {"settings.round_trip", "save, load in reads of 1, 3 and 17 bytes, save: byte-identical",
       "settings must survive a restart, whatever the host's reads return", check_round_trip},
      {"settings.unknown_around_own", "its own records load between unknown ones",
       "records of other versions may come before and after the module's own",
       check_unknown_around_own},
      {"settings.own_record_bounded",
       "loading its own records, of any size, reads nothing of the next record",
       "a setting that reads past its payload corrupts every record after it",
       check_own_record_bounded},
      {"settings.cut_unknown_record",
       "a stream ending inside an unknown record's payload ends with exception_io_data",
       "the host learns the file is damaged instead of half-loading it", check_cut_unknown_record},
      {"settings.random_bytes", "4 MiB of random bytes load normally or end with exception_io_data",
       "a damaged file must never crash the host", check_random_bytes},
  };
}

}  // namespace quarlo_host
