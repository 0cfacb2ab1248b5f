#include <cstdint>

#include <gtest/gtest.h>

#include "entry/module_globals.h"
#include "host/guid.h"
#include "lookup/lookup_factory.h"
#include "lookup/mainmenu_commands.h"
#include "service/service_factory_single_t.h"
#include "service/service_ref.h"
#include "support/fake_host.h"

namespace {

constexpr GUID commands_class = {
    0x35077B8C, 0x6E70, 0x47BA, {0xB9, 0xDD, 0xD5, 0x15, 0x00, 0xE1, 0x2F, 0x2E}};

TEST(service_factory, LoadRegistersTheLookupCommandFactoryAlone) {
  ASSERT_EQ(factory_list, &lookup_commands_factory);
  const service_factory_base* record = factory_list;
  EXPECT_EQ(record->next, nullptr);
  ASSERT_NE(record->service_class, nullptr);
  EXPECT_TRUE(guid_equal(*record->service_class, commands_class));
}

TEST(service_factory, RecordFieldsSitWhereTheHostReadsThem) {
  // The host sees the table pointer, next and class as three words.
  auto* words = reinterpret_cast<void* const*>(factory_list);
  EXPECT_EQ(words[1], static_cast<void*>(factory_list->next));
  EXPECT_EQ(words[2], static_cast<const void*>(factory_list->service_class));
}

TEST(service_factory, MakeInstanceYieldsTheOneEmbeddedCommandGroup) {
  service_ref first, second;
  factory_list->make_instance(first);
  factory_list->make_instance(second);
  ASSERT_TRUE(first);
  EXPECT_EQ(first.get(), second.get());
  // The embedded object follows the record directly.
  EXPECT_EQ(reinterpret_cast<const char*>(first.get()),
            reinterpret_cast<const char*>(factory_list) + sizeof(service_factory_base));
  auto* commands = static_cast<mainmenu_commands*>(first.get());
  EXPECT_EQ(commands->command_count(), 1u);
}

TEST(service_factory, MakeInstanceReleasesWhatTheReferenceHeld) {
  counted_service previous;
  service_ref ref;
  ref.assign(&previous);
  factory_list->make_instance(ref);
  EXPECT_EQ(previous.references(), 1u);
  EXPECT_NE(ref.get(), &previous);
}

TEST(service_factory, SingleInstanceCountingIsInert) {
  service_ref ref;
  factory_list->make_instance(ref);
  service_base* object = ref.get();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(object->add_ref(), 1u);
    EXPECT_EQ(object->release(), 1u);
    EXPECT_EQ(object->release(), 1u);
  }
}

TEST(service_factory, QueryAnswersOnlyTheCommandsClass) {
  service_ref ref;
  factory_list->make_instance(ref);
  service_base* object = ref.get();

  service_ref answered;
  EXPECT_TRUE(object->query(answered, commands_class));
  EXPECT_EQ(answered.get(), object);

  GUID one_bit_off = commands_class;
  one_bit_off.Data4[7] ^= 1;
  const GUID refused[] = {
      null_guid,
      one_bit_off,
      {0x7255E8D0, 0x3FCF, 0x4781, {0xB9, 0x3B, 0xD0, 0x6C, 0xB8, 0x8D, 0xFA, 0xFA}},
      {0x099F8FD0, 0xD915, 0x407B, {0x87, 0xF8, 0x83, 0x9C, 0x2B, 0xA3, 0xF4, 0x01}},
      {0xF8BE5604, 0x165F, 0x4BB9, {0xB6, 0xA9, 0x15, 0xE5, 0x5E, 0x0E, 0x0D, 0x3A}},
  };
  for (const GUID& guid : refused) {
    SCOPED_TRACE(guid.Data1);
    counted_service held;
    service_ref out;
    out.assign(&held);
    EXPECT_FALSE(object->query(out, guid));
    EXPECT_EQ(out.get(), &held);
    EXPECT_EQ(held.releases(), 0u);
  }
}

// A service class of the tests' own, to register records beside the module's.
class probe_service : public service_base {
 public:
  using service_interface = probe_service;
  static constexpr GUID class_guid = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};

 protected:
  ~probe_service() = default;
};

class probe_service_impl : public probe_service {
 protected:
  ~probe_service_impl() = default;
};

class probe_factory final : public service_factory_single_t<probe_service_impl> {};

TEST(service_factory, RecordsStandInReverseOrderOfConstruction) {
  service_factory_base* const loaded_head = factory_list;
  {
    probe_factory first;
    probe_factory second;
    EXPECT_EQ(factory_list, &second);
    EXPECT_EQ(second.next, &first);
    EXPECT_EQ(first.next, loaded_head);
    EXPECT_EQ(first.service_class, &probe_service::class_guid);

    service_ref a, b;
    first.make_instance(a);
    second.make_instance(b);
    EXPECT_NE(a.get(), b.get());
    EXPECT_TRUE(a.get()->query(b, probe_service::class_guid));
    EXPECT_EQ(b.get(), a.get());
    EXPECT_FALSE(a.get()->query(b, commands_class));
  }
  factory_list = loaded_head;
}

}  // namespace
