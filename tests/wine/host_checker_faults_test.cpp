// quarlo_host check against the test-only modules of checker_modules/, each built
// with one planted fault, in the ABI under test: the cases that catch the
// fault end as the table says, and every other case passes (or is skipped,
// or warns about the test build itself).
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "module_under_test.h"
#include "quarlo_host/cli/commands.h"
#include "support/check_report_lines.h"

namespace {

using caught_cases = std::vector<std::pair<const char*, const char*>>;

struct fault_row {
  const char* module;
  // The cases that catch the fault and the status each ends with.
  caught_cases caught;
  // The one ABI where the fault can show, or null for both.
  const char* abi = nullptr;
  // The time limit per case: short only where a case is meant to hang.
  const char* timeout = "60";
};

// A crash in running a command crashes every case that runs one; more cases
// may come before.
caught_cases every_run_crashed(caught_cases before = {}) {
  for (const char* id :
       {"run.commands_return", "run.owned_by_main", "run.owner_enabled", "run.closes",
        "run.windows_gone", "run.classes_unregistered", "run.callback_released", "run.no_leak",
        "run.second_run", "run.host_bad_alloc", "run.host_exception_io"}) {
    before.emplace_back(id, "crashed");
  }
  return before;
}

const std::vector<fault_row> faults = {
    {"conforming", {}},
    {"query_answers_all", {{"factories.query_unknown_class", "failed"}}},
    {"query_writes_on_miss", {{"factories.query_miss_untouched", "failed"}}},
    {"factory_loop", {{"factories.chain_ends", "failed"}}},
    {"duplicate_command_guid", {{"commands.guids_unique", "failed"}}},
    {"name_past_end", {{"commands.past_end_writes_nothing", "failed"}}},
    // Every run keeps or overreleases it, past the end and real ones alike.
    {"run_keeps_callback",
     {{"commands.run_releases_callback", "failed"}, {"run.callback_released", "failed"}}},
    {"run_releases_twice",
     {{"commands.run_releases_callback", "failed"}, {"run.callback_released", "failed"}}},
    // It stops every exception: the host's own, bad_alloc, and its own end of data.
    {"load_swallows_host_exception",
     {{"exceptions.host_io_passes", "failed"},
      {"exceptions.host_bad_alloc_passes", "failed"},
      {"exceptions.cut_own_record", "failed"},
      {"settings.cut_unknown_record", "failed"}}},
    {"load_reads_past_record", {{"settings.own_record_bounded", "failed"}}},
    {"swallowed_bad_alloc", {{"memory.location_alloc_failure", "failed"}}},
    {"block_left_at_unload",
     {{"memory.unload_frees_all", "failed"}, {"memory.reload_no_growth", "failed"}}},
    {"second_export", {{"entry.single_export", "failed"}}},
    // Its catch misses the host's end of data, so every load that reaches the
    // end of the stream lets it out; its own exceptions reach the host as foreign.
    {"exception_declared_as_struct",
     {{"settings.empty_stream", "failed"},
      {"settings.cut_header", "failed"},
      {"settings.unknown_records", "failed"},
      {"settings.round_trip", "failed"},
      {"settings.unknown_around_own", "failed"},
      {"settings.own_record_bounded", "failed"},
      {"exceptions.host_data_caught", "failed"},
      {"exceptions.cut_own_record", "failed"},
      {"memory.load_alloc_failure", "failed"},
      {"threads.settings", "failed"},
      {"sequence.random_calls", "failed"}},
     "msvc"},
    // The crash is in command_count: every case that asks it.
    {"crash_in_slot", every_run_crashed({{"commands.count_stable", "crashed"},
                                         {"commands.names", "crashed"},
                                         {"commands.descriptions", "crashed"},
                                         {"commands.guids_not_null", "crashed"},
                                         {"commands.guids_unique", "crashed"},
                                         {"commands.guid_past_end", "crashed"},
                                         {"commands.past_end_writes_nothing", "crashed"},
                                         {"commands.display_state", "crashed"},
                                         {"commands.run_releases_callback", "crashed"},
                                         {"commands.run_null_callback", "crashed"},
                                         {"memory.commands_no_leak", "crashed"},
                                         {"threads.commands", "crashed"},
                                         {"sequence.random_calls", "crashed"}})},
    // The hang is in sort_priority: the cases that ask it fail by time-out.
    {"hang_in_slot",
     {{"commands.group_stable", "failed"}, {"threads.commands", "failed"}},
     nullptr,
     "20"},
    // A real run crashes: every case that runs the commands.
    {"run_crashes", every_run_crashed()},
    {"throws_on_plain_run", {{"run.commands_return", "failed"}}},
    {"dialog_without_owner", {{"run.owned_by_main", "failed"}}},
    // Ended by force; the time limit leaves room for Escape and the close box.
    {"ignores_close", {{"run.closes", "failed"}}},
    // The window also keeps its class registered: reported once, as the window.
    {"window_left_at_unload", {{"run.windows_gone", "failed"}}},
    {"class_never_unregistered", {{"run.classes_unregistered", "failed"}}},
    {"owner_left_disabled", {{"run.owner_enabled", "failed"}}},
    {"callback_kept_by_real_run", {{"run.callback_released", "failed"}}},
    {"second_run_fails", {{"run.second_run", "failed"}}},
    // Let out of the dialog procedure, the host's exception cannot unwind the
    // window system's frames in the GNU ABI: the process ends.
    {"host_exception_crashes",
     {{"run.host_bad_alloc", "crashed"}, {"run.host_exception_io", "crashed"}},
     "gnu"},
    // In the Microsoft ABI it unwinds past the dialog's loop: out of run_command
    // with the dialog still open.
    {"host_exception_crashes",
     {{"run.host_bad_alloc", "failed"}, {"run.host_exception_io", "failed"}},
     "msvc"},
    {"thread_differs", {{"threads.factories", "failed"}}},
    // Reached only by texts set after the services have come and gone.
    {"texts_leak_after_services_gone", {{"sequence.random_calls", "failed"}}},
};

}  // namespace

TEST(CheckerFaults, EachPlantedFaultIsCaughtByItsCaseAndNoOther) {
  const bool msvc = abi_under_test() == quarlo_host::module_abi::msvc;
  for (const fault_row& row : faults) {
    if (row.abi != nullptr && std::string(row.abi) != (msvc ? "msvc" : "gnu")) continue;
    SCOPED_TRACE(row.module);
    const std::string module =
        folder_under_test() + "checker_modules/checker_" + row.module + ".dll";
    std::ostringstream out, err;
    const int status =
        quarlo_host::run_host({"check", module, "--seed", "5", "--timeout", row.timeout}, out, err);
    EXPECT_EQ(status, row.caught.empty() ? 0 : 1) << out.str() << err.str();
    const auto found = statuses(out.str());
    ASSERT_FALSE(found.empty()) << err.str();
    for (const auto& [id, got] : found) {
      std::string expected;
      for (const auto& [caught_id, s] : row.caught) {
        if (id == caught_id) expected = s;
      }
      if (expected.empty()) {
        EXPECT_TRUE(got == "passed" || got == "skipped" || got == "warning") << id << " " << got;
      } else {
        EXPECT_EQ(got, expected) << id;
      }
    }
    for (const auto& [caught_id, s] : row.caught) {
      EXPECT_EQ(found.count(caught_id), 1u) << caught_id;
    }
  }
}
