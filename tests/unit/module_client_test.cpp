#include "entry/module_client.h"

#include <new>
#include <string>
#include <vector>

#include "entry/module_globals.h"
#include "entry/quarlo_get_interface.h"
#include "service/service_factory_base.h"
#include "support/module_streams.h"
#include "support/table_slot.h"
#include "support/test_heap.h"
#include "trel/heap.h"

namespace {

// Location texts and flags are module globals: each test starts and ends with
// them empty, so their blocks do not count as leaks.
struct module_client_test : test_heap::heap_test {
  void SetUp() override {
    clear_globals();
    test_heap::heap_test::SetUp();
  }
  void TearDown() override {
    clear_globals();
    test_heap::heap_test::TearDown();
  }
  static void clear_globals() {
    location_text_1.assign_text("");
    location_text_2.assign_text("");
    services_flag = 0;
    services_were_ready = 0;
  }
};

class test_factory final : public service_factory_base {
 public:
  test_factory() : service_factory_base(&null_guid, nullptr) {}
  void make_instance(service_ref&) override {}
};

TEST_F(module_client_test, EntryStoresHostAndInstanceAndReturnsTheClient) {
  auto* host_a = reinterpret_cast<host_api*>(0x1000);
  auto* host_b = reinterpret_cast<host_api*>(0x2000);
  auto instance_a = reinterpret_cast<HINSTANCE>(0x3000);
  auto instance_b = reinterpret_cast<HINSTANCE>(0x4000);
  host_api* const saved_host = module_host;
  const HINSTANCE saved_instance = module_instance;

  module_client* first = quarlo_get_interface(host_a, instance_a);
  EXPECT_EQ(module_host, host_a);
  EXPECT_EQ(module_instance, instance_a);
  module_client* second = quarlo_get_interface(host_b, instance_b);
  EXPECT_EQ(module_host, host_b);
  EXPECT_EQ(module_instance, instance_b);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, &the_module_client());

  module_host = saved_host;
  module_instance = saved_instance;
}

TEST_F(module_client_test, VersionIs71AndBuildIsNotDebugAtAnyTime) {
  module_client& client = the_module_client();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(client.client_version(), 71u);
    EXPECT_FALSE(client.debug_build());
    quarlo_get_interface(module_host, module_instance);
  }
}

TEST_F(module_client_test, FirstFactoryIsTheListHead) {
  module_client& client = the_module_client();
  service_factory_base* const saved = factory_list;
  EXPECT_EQ(client.first_factory(), saved);
  factory_list = nullptr;
  EXPECT_EQ(client.first_factory(), nullptr);
  test_factory record;
  factory_list = &record;
  EXPECT_EQ(client.first_factory(), &record);
  factory_list = saved;
}

TEST_F(module_client_test, SlotsSitInContractOrder) {
  module_client* client = quarlo_get_interface(module_host, module_instance);
  EXPECT_EQ(call_slot<uint32_t>(client, 0), 71u);
  EXPECT_EQ(call_slot<service_factory_base*>(client, 1), factory_list);

  recording_sink sink;
  abort_signal abort;
  call_slot<void, byte_sink*, abort_signal*>(client, 2, &sink, &abort);
  EXPECT_TRUE(sink.calls.empty());

  recording_source source({});
  call_slot<void, byte_source*, abort_signal*>(client, 3, &source, &abort);
  EXPECT_EQ(source.calls, (std::vector<stream_call>{{1, 16}}));

  call_slot<void, const char*, const char*>(client, 4, "one", "two");
  EXPECT_STREQ(location_text_1.text(), "one");
  EXPECT_STREQ(location_text_2.text(), "two");

  call_slot<void, bool>(client, 5, true);
  EXPECT_EQ(services_flag, 1);
  EXPECT_FALSE(call_slot<bool>(client, 6));
}

TEST_F(module_client_test, ServicesReadyFlagsOnlyEverSetTheSecond) {
  module_client& client = the_module_client();
  struct row {
    std::vector<bool> calls;
    uint8_t flag, were_ready;
  };
  for (const row& r : {row{{false}, 0, 0}, row{{true}, 1, 1}, row{{true, false}, 0, 1},
                       row{{false, true, false, false}, 0, 1}, row{{true, false, true}, 1, 1}}) {
    module_client_test::clear_globals();
    for (const bool ready : r.calls) client.services_ready(ready);
    EXPECT_EQ(services_flag, r.flag);
    EXPECT_EQ(services_were_ready, r.were_ready);
  }
}

TEST_F(module_client_test, LocationTextsCopyBothTexts) {
  module_client& client = the_module_client();
  std::string one = "C:\\Program Files\\quarlo";
  std::string two = "profile";
  client.set_location_texts(one.c_str(), two.c_str());
  one.assign("changed");
  two.assign("changed");
  EXPECT_STREQ(location_text_1.text(), "C:\\Program Files\\quarlo");
  EXPECT_STREQ(location_text_2.text(), "profile");

  client.set_location_texts("abc", "");
  uint32_t size = 0;
  ASSERT_TRUE(trel::heap::block_size(location_text_1.block(), size));
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(location_text_2.block(), nullptr);
}

TEST_F(module_client_test, LocationTextFromItsOwnTextTakesThatTail) {
  module_client& client = the_module_client();
  client.set_location_texts("first text", "second text");
  client.set_location_texts(location_text_1.block() + 6, location_text_2.block() + 1);
  EXPECT_STREQ(location_text_1.text(), "text");
  EXPECT_STREQ(location_text_2.text(), "econd text");
  client.set_location_texts(location_text_1.block() + 4, location_text_2.block());
  EXPECT_EQ(location_text_1.block(), nullptr);
  EXPECT_STREQ(location_text_2.text(), "econd text");
}

TEST_F(module_client_test, LocationTextsKeepOldTextsOnHeapFailure) {
  module_client& client = the_module_client();
  test_heap::for_each_failure([&](uint32_t k) {
    {
      const test_heap::unfailing setup;
      client.set_location_texts("old one", "old two");
    }
    if (k == 0) {
      client.set_location_texts("the new first text", "the new second text");
      EXPECT_STREQ(location_text_1.text(), "the new first text");
      EXPECT_STREQ(location_text_2.text(), "the new second text");
    } else {
      const char* old_two = location_text_2.block();
      EXPECT_THROW(client.set_location_texts("the new first text", "the new second text"),
                   std::bad_alloc);
      // Each text takes one reallocation, text 1 first; a failure in text 2
      // leaves text 1 assigned.
      EXPECT_STREQ(location_text_1.text(), k == 1 ? "old one" : "the new first text");
      EXPECT_STREQ(location_text_2.text(), "old two");
      EXPECT_EQ(location_text_2.block(), old_two);
    }
    module_client_test::clear_globals();
  });
}

}  // namespace
