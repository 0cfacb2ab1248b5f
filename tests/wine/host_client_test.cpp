// The module's client object, slot by slot, through the host's declarations.
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quarlo/mainmenu_commands.h"
#include "quarlo_host/core/guid_text.h"
#include "tamsel_session.h"

using quarlo_host::heap_watch::counts;
using quarlo_host::heap_watch::live_sizes;

using ModuleClient = tamsel_session;

TEST_F(ModuleClient, VersionStays71AcrossRepeatedEntry) {
  EXPECT_EQ(client().client_version(), 71u);
  quarlo_host::service_registry other_registry;
  quarlo_host::host_api_impl other(other_registry);
  // A later entry overwrites the host, returns the same single client.
  EXPECT_EQ(module->enter(other), &client());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(client().client_version(), 71u);
  EXPECT_EQ(module->enter(host), &client());
}

TEST_F(ModuleClient, FlagsAndServicesStateMakeNoHeapCall) {
  EXPECT_FALSE(client().debug_build());
  client().services_ready(true);
  client().services_ready(false);
  EXPECT_FALSE(client().debug_build());
  EXPECT_EQ(counts().mallocs + counts().reallocs + counts().frees, 0u);
}

TEST_F(ModuleClient, FactoryChainHoldsTheCommandGroupAlone) {
  service_factory_base* factory = client().first_factory();
  ASSERT_NE(factory, nullptr);
  ASSERT_NE(factory->service_class, nullptr);
  EXPECT_EQ(quarlo_host::format_guid(*factory->service_class),
            "{35077B8C-6E70-47BA-B9DD-D51500E12F2E}");
  EXPECT_EQ(factory->next, nullptr);
  EXPECT_EQ(client().first_factory(), factory);

  service_ref first;
  service_ref second;
  factory->make_instance(first);
  factory->make_instance(second);
  ASSERT_TRUE(first);
  EXPECT_EQ(first.get(), second.get());
  // A static object: its counting is inert.
  EXPECT_EQ(first.get()->add_ref(), 1u);
  EXPECT_EQ(first.get()->release(), 1u);

  service_ref answered;
  EXPECT_TRUE(first.get()->query(answered, mainmenu_commands::class_guid));
  EXPECT_EQ(answered.get(), first.get());
  auto& group = *static_cast<mainmenu_commands*>(answered.get());
  EXPECT_EQ(group.command_count(), 1u);
}

TEST_F(ModuleClient, QueryForAnotherClassLeavesTheReferenceAlone) {
  service_ref group;
  client().first_factory()->make_instance(group);
  auto& held = registry.add({1, 2, 3, {4, 0, 0, 0, 0, 0, 0, 0}}, "held");
  service_ref out;
  out.assign(&held);
  const std::vector<GUID> others = {
      quarlo::null_guid,
      named_service::class_guid,
      {0x35077B8C, 0x6E70, 0x47BA, {0xB9, 0xDD, 0xD5, 0x15, 0, 0xE1, 0x2F, 0x2F}}};
  for (const GUID& other : others) {
    EXPECT_FALSE(group.get()->query(out, other)) << quarlo_host::format_guid(other);
    EXPECT_EQ(out.get(), &held);
    EXPECT_EQ(held.outstanding(), 1);
  }
}

TEST_F(ModuleClient, LocationTextsHoldExactBlocksAndEmptyFreesThem) {
  client().set_location_texts("abc", "");
  EXPECT_EQ(new_blocks(), 1u);
  EXPECT_EQ(live_sizes(), std::vector<uint32_t>{4});

  // The same length again: the block already fits, so nothing is allocated.
  quarlo_host::heap_watch::reset();
  client().set_location_texts("xyz", "");
  EXPECT_EQ(counts().mallocs + counts().reallocs, 0u);
  EXPECT_EQ(new_blocks(), 1u);

  client().set_location_texts("", "second text");
  EXPECT_EQ(live_sizes(), std::vector<uint32_t>{12});
  client().set_location_texts("", "");
  EXPECT_EQ(new_blocks(), 0u);
}

TEST_F(ModuleClient, LocationTextsFromOneOverlappingHostBuffer) {
  // Both texts are views into one buffer the host owns; each is copied whole.
  const std::string buffer = "overlapping";
  client().set_location_texts(buffer.c_str(), buffer.c_str() + 4);
  EXPECT_EQ(live_sizes(), (std::vector<uint32_t>{8, 12}));
  client().set_location_texts(buffer.c_str() + 4, buffer.c_str());
  EXPECT_EQ(live_sizes(), (std::vector<uint32_t>{8, 12}));
  EXPECT_EQ(buffer, "overlapping");
  client().set_location_texts(buffer.c_str() + buffer.size(), buffer.c_str() + buffer.size());
  EXPECT_EQ(new_blocks(), 0u);
}

TEST_F(ModuleClient, AllocationFailureArrivesAsTheHostsBadAlloc) {
  struct failure {
    const char* before;
    uint32_t fail_call;
    const char* text1;
    const char* text2;
    std::vector<uint32_t> blocks_after;
  };
  const std::vector<failure> cases = {
      {"", 1, "abc", "", {}},             // text 1 fails: nothing kept
      {"", 2, "abc", "defg", {4}},        // text 2 fails: text 1 already assigned
      {"old", 1, "abcdef", "defg", {4}},  // growing text 1 fails: old block kept
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text1);
    client().set_location_texts(c.before, "");
    quarlo_host::heap_watch::reset();
    quarlo_host::heap_watch::fail_at(c.fail_call);
    bool caught = false;
    try {
      client().set_location_texts(c.text1, c.text2);
    } catch (const std::bad_alloc&) {
      caught = true;
    }
    EXPECT_TRUE(caught);
    EXPECT_EQ(counts().failed, 1u);
    EXPECT_EQ(live_sizes(), c.blocks_after);
    client().set_location_texts("", "");
  }
}
