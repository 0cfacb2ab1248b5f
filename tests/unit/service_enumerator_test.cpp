#include "service/service_enumerator.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "support/fake_host.h"

namespace {

constexpr GUID some_class = {0x7255E8D0, 0x3FCF, 0x4781, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST(service_enumerator, FindsTheClassOnceAtConstruction) {
  fake_host host(2);
  service_enumerator services(host, some_class);
  EXPECT_EQ(host.find_class_calls, 1u);
  EXPECT_TRUE(guid_equal(host.last_class, some_class));
  service_ref ref;
  EXPECT_TRUE(services.next(ref, 0));
  EXPECT_TRUE(services.next(ref, 1));
  EXPECT_FALSE(services.next(ref, 2));
  EXPECT_EQ(host.find_class_calls, 1u);
  EXPECT_EQ(host.created_handles, std::vector<uint32_t>(3, fake_host::class_handle));
}

TEST(service_enumerator, WalksThreeInstancesReleasingEachOnce) {
  fake_host host(3);
  {
    service_enumerator services(host, some_class);
    service_ref ref;
    for (uint32_t index = 0; index < 3; ++index) {
      SCOPED_TRACE(index);
      ASSERT_TRUE(services.next(ref, index));
      EXPECT_EQ(ref.get(), &host.instances[index]);
      EXPECT_EQ(host.instances[index].references(), 2u);
      if (index > 0) {
        EXPECT_EQ(host.instances[index - 1].references(), 1u);
      }
    }
    EXPECT_FALSE(services.next(ref, 3));
    EXPECT_EQ(ref.get(), &host.instances[2]) << "a false next leaves out unchanged";
  }
  EXPECT_EQ(host.created_indexes, (std::vector<uint32_t>{0, 1, 2, 3}));
  for (const counted_service& s : host.instances) {
    EXPECT_EQ(s.references(), 1u);
    EXPECT_EQ(s.releases(), 1u);
  }
}

TEST(service_enumerator, NextReleasesWhatOutHeldBefore) {
  fake_host host(1);
  counted_service previous;
  service_ref ref;
  ref.assign(&previous);
  service_enumerator services(host, some_class);
  ASSERT_TRUE(services.next(ref, 0));
  EXPECT_EQ(previous.references(), 1u);
  EXPECT_EQ(host.instances[0].add_refs(), 1u) << "the host's reference is adopted, not added to";
}

TEST(service_enumerator, FalseWithAnObjectLeftReleasesIt) {
  fake_host host(0);
  counted_service stray;
  host.stray_on_false = &stray;
  counted_service held;
  service_ref ref;
  ref.assign(&held);
  service_enumerator services(host, some_class);
  EXPECT_FALSE(services.next(ref, 0));
  EXPECT_EQ(stray.references(), 1u);
  EXPECT_EQ(stray.releases(), 1u);
  EXPECT_EQ(ref.get(), &held);
  EXPECT_EQ(held.releases(), 0u);
}

TEST(service_enumerator, HostExceptionPassesAfterTheLocalReferenceIsReleased) {
  fake_host host(3);
  counted_service stray;
  host.stray_on_false = &stray;
  host.throw_at_index = 1;
  service_enumerator services(host, some_class);
  service_ref ref;
  ASSERT_TRUE(services.next(ref, 0));
  EXPECT_THROW(services.next(ref, 1), std::runtime_error);
  EXPECT_EQ(stray.references(), 1u);
  EXPECT_EQ(ref.get(), &host.instances[0]);
}

}  // namespace
