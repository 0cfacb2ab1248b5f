// The test-only modules that prove the checker, loaded by the host's runtime in
// the ABI under test: each loads and hands out its client with only the export
// its fault allows, and the conforming one behaves as the contract says.
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "module_under_test.h"
#include "quarlo/exception_io.h"
#include "quarlo/mainmenu_commands.h"
#include "quarlo_host/checker/window_user.h"
#include "quarlo_host/runtime/bridge_client.h"
#include "quarlo_host/runtime/heap_watch.h"
#include "quarlo_host/runtime/host_files.h"
#include "quarlo_host/runtime/host_string.h"
#include "quarlo_host/runtime/loaded_module.h"
#include "quarlo_host/ui/main_window.h"
#include "support/host_streams.h"
#include "tamsel_session.h"

namespace {

using quarlo_host::module_abi;

std::string guid_key(const GUID& g) {
  return std::string(reinterpret_cast<const char*>(&g), sizeof g);
}

// The command group a factory makes, with the reference the test holds.
mainmenu_commands* group_of(service_factory_base& factory, service_ref& held) {
  service_ref instance;
  factory.make_instance(instance);
  if (!instance || !instance.get()->query(held, mainmenu_commands::class_guid)) return nullptr;
  return static_cast<mainmenu_commands*>(held.get());
}

std::vector<uint8_t> record(const GUID& id, uint32_t length, std::vector<uint8_t> payload) {
  std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(&id),
                             reinterpret_cast<const uint8_t*>(&id) + sizeof id);
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(length >> (8 * i)));
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}

std::vector<uint8_t> saved(module_client& client) {
  recording_sink sink;
  abort_signal abort;
  client.save_settings(sink, abort);
  return sink.data;
}

// Each test loads the checker module it drives, with the heap watch; at its
// end the module must have freed everything and released every reference.
struct CheckerModules : tamsel_session {
  void SetUp() override {}
};

}  // namespace

TEST(CheckerModuleFiles, EachLoadsWithTheExportsOfItsFault) {
  const char* const names[] = {"conforming",
                               "query_answers_all",
                               "query_writes_on_miss",
                               "factory_loop",
                               "duplicate_command_guid",
                               "name_past_end",
                               "run_keeps_callback",
                               "run_releases_twice",
                               "load_swallows_host_exception",
                               "load_reads_past_record",
                               "swallowed_bad_alloc",
                               "block_left_at_unload",
                               "second_export",
                               "crash_in_slot",
                               "hang_in_slot",
                               "exception_declared_as_struct"};
  for (const std::string name : names) {
    SCOPED_TRACE(name);
    if (name == "exception_declared_as_struct" && abi_under_test() == module_abi::gnu) continue;
    const std::string path = checker_module(name);
    EXPECT_EQ(quarlo_host::detect_abi(quarlo_host::read_pe_file(path)), abi_under_test());
    std::vector<std::string> exports = {"quarlo_get_interface"};
    if (name == "second_export") exports.insert(exports.begin(), "checker_second_export");
    EXPECT_EQ(quarlo_host::read_pe_file(path).exports, exports);
    quarlo_host::service_registry registry;
    quarlo_host::host_api_impl host(registry);
    const quarlo_host::loaded_module module(path, host);
    EXPECT_EQ(module.client().client_version(), 71u);
  }
}

TEST_F(CheckerModules, ConformingOffersTwoGroupsOfUniqueCommands) {
  // A host window to own the first command's dialog, and a user to close it.
  quarlo_host::main_window window(std::vector<quarlo_host::menu_popup>{});
  host.set_main_window(window.handle());
  quarlo_host::window_user user(window.handle(), {{L"text"}}, {});
  load(checker_module("conforming"));
  std::vector<uint32_t> counts;
  std::set<std::string> guids;
  for (service_factory_base* f = client().first_factory(); f != nullptr; f = f->next) {
    ASSERT_LT(counts.size(), 3u) << "the chain does not end";
    ASSERT_TRUE(quarlo::guid_equal(*f->service_class, mainmenu_commands::class_guid));
    service_ref held;
    mainmenu_commands* group = group_of(*f, held);
    ASSERT_NE(group, nullptr);
    const uint32_t count = group->command_count();
    counts.push_back(count);
    for (uint32_t i = 0; i < count; ++i) {
      const GUID id = group->command_guid(i);
      EXPECT_FALSE(quarlo::guid_equal(id, quarlo::null_guid));
      EXPECT_TRUE(guids.insert(guid_key(id)).second) << "command " << i << " repeats a GUID";
      quarlo_host::host_string name;
      group->command_name(i, name);
      EXPECT_FALSE(name.text().empty());
    }
    // Past the end: the strings are left alone and the callback released once.
    quarlo_host::host_string name("kept"), text("kept");
    uint32_t flags = 7;
    group->command_name(count, name);
    EXPECT_FALSE(group->command_description(count, name));
    EXPECT_FALSE(group->display_state(count, text, flags));
    EXPECT_EQ(name.text(), "kept");
    EXPECT_EQ(text.text(), "kept");
    quarlo_host::named_object& callback = registry.add(quarlo::null_guid, "callback");
    for (uint32_t index : {0u, count}) {
      service_ref given;
      given.assign(&callback);
      user.begin_run();
      group->run_command(index, std::move(given));
      user.end_run();
      EXPECT_EQ(callback.outstanding(), 0) << "index " << index;
    }
    user.begin_run();
    group->run_command(0, service_ref());
    user.end_run();
  }
  EXPECT_EQ(counts, (std::vector<uint32_t>{1, 2}));
}

TEST_F(CheckerModules, ConformingFreesAGroupOnItsLastRelease) {
  load(checker_module("conforming"));
  quarlo_host::heap_watch::reset();
  service_ref held;
  mainmenu_commands* group = group_of(*client().first_factory(), held);
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(new_blocks(), 1u);
  EXPECT_EQ(group->add_ref(), 2u);
  EXPECT_EQ(group->release(), 1u);
  held.reset();
  EXPECT_EQ(new_blocks(), 0u);
  // A failed allocation throws and makes nothing.
  quarlo_host::heap_watch::fail_at(1);
  service_ref none;
  EXPECT_THROW(client().first_factory()->make_instance(none), std::bad_alloc);
  EXPECT_FALSE(none);
}

TEST_F(CheckerModules, ConformingKeepsItsLocationTextsAsOwnedCopies) {
  load(checker_module("conforming"));
  client().set_location_texts("first", "second");
  EXPECT_EQ(new_blocks(), 2u);
  quarlo_host::heap_watch::fail_at(2);
  EXPECT_THROW(client().set_location_texts("third", "fourth"), std::bad_alloc);
  EXPECT_EQ(new_blocks(), 2u);
  client().set_location_texts("", "");
  EXPECT_EQ(new_blocks(), 0u);
  client().set_location_texts("kept", "until unload");
}

TEST_F(CheckerModules, ConformingSettingsRoundTripAndStepOverOthers) {
  load(checker_module("conforming"));
  const std::vector<uint8_t> first = saved(client());
  ASSERT_EQ(first.size(), 24u);
  abort_signal abort;
  const GUID own = *reinterpret_cast<const GUID*>(first.data());
  const GUID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  // Another value, behind unknown records of 0, 3 and 258 bytes, read a byte at a time.
  std::vector<uint8_t> stream;
  for (uint32_t length : {0u, 3u, 258u}) {
    const std::vector<uint8_t> r = record(other, length, std::vector<uint8_t>(length, 0xAB));
    stream.insert(stream.end(), r.begin(), r.end());
  }
  const std::vector<uint8_t> mine = record(own, 4, {1, 2, 3, 4});
  stream.insert(stream.end(), mine.begin(), mine.end());
  recording_source source(stream);
  source.limit_reads(1);
  client().load_settings(source, abort);
  EXPECT_EQ(source.position, stream.size());
  std::vector<uint64_t> skipped;
  for (const stream_call& call : source.calls) {
    if (call.slot == stream_call::skip_exact) skipped.push_back(call.count);
  }
  EXPECT_EQ(skipped, (std::vector<uint64_t>{0, 3, 258}));
  EXPECT_EQ(saved(client()), mine);
  // A record of its own shorter than a value changes nothing and reads no further.
  const std::vector<uint8_t> short_record = record(own, 2, {9, 9});
  recording_source short_source(short_record);
  client().load_settings(short_source, abort);
  EXPECT_EQ(saved(client()), mine);
}

TEST_F(CheckerModules, OwnRecordCutShortReachesTheHostAsStreamDataOnlyWhenDeclaredAlike) {
  const std::tuple<const char*, bool> rows[] = {
      {"conforming", true},
      {"exception_declared_as_struct", false},
  };
  for (const auto& [name, caught] : rows) {
    SCOPED_TRACE(name);
    if (!caught && abi_under_test() == module_abi::gnu) continue;
    load(checker_module(name));
    const std::vector<uint8_t> first = saved(client());
    recording_source source({first.begin(), first.end() - 2});
    abort_signal abort;
    try {
      client().load_settings(source, abort);
      ADD_FAILURE() << "loaded";
    } catch (const quarlo_io::exception_io_data&) {
      EXPECT_TRUE(caught);
    } catch (const quarlo_host::module_exception&) {
      EXPECT_FALSE(caught);
    }
  }
}
