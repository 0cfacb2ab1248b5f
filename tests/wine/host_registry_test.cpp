// The host's named-service registry as host_api presents it.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quarlo/named_service.h"
#include "quarlo_host/runtime/host_api_impl.h"

using quarlo_host::host_api_impl;
using quarlo_host::service_registry;

TEST(ServiceRegistry, FindsOnlyTheNamedServiceClass) {
  service_registry registry;
  EXPECT_EQ(registry.find_class(named_service::class_guid), service_registry::named_service_handle);
  EXPECT_EQ(registry.find_class(quarlo::null_guid), 0u);
  EXPECT_EQ(registry.find_class({0x7255E8D0, 0x3FCF, 0x4781, {0}}), 0u);
  EXPECT_EQ(registry.find_class_calls(), 3u);
}

TEST(ServiceRegistry, CreateHandsOutCountedReferencesByDenseIndex) {
  service_registry registry;
  registry.add({1, 0, 0, {0}}, "one");
  registry.add({2, 0, 0, {0}}, "two");
  host_api_impl impl(registry);
  host_api& host = impl;
  service_ref out;
  for (uint32_t i = 0; i < 2; ++i) {
    ASSERT_TRUE(host.create(out, service_registry::named_service_handle, i));
    auto* named = static_cast<named_service*>(out.get());
    EXPECT_EQ(named->service_guid().Data1, i + 1);
    EXPECT_EQ(registry.at(i).outstanding(), 1);
  }
  // Filling the reference released the instance it held before.
  EXPECT_EQ(registry.at(0).outstanding(), 0);
  EXPECT_FALSE(host.create(out, service_registry::named_service_handle, 2));
  EXPECT_FALSE(host.create(out, 0, 0));
  EXPECT_EQ(out.get(), &registry.at(1)) << "a failed create leaves the reference alone";
  out.reset();
  EXPECT_TRUE(registry.leak_report().empty());
}

TEST(ServiceRegistry, ReportsReferencesThatDidNotComeBack) {
  service_registry registry;
  auto& kept = registry.add({0xAA, 0, 0, {0}}, "kept");
  auto& over = registry.add({0xBB, 0, 0, {0}}, "over");
  registry.add({0xCC, 0, 0, {0}}, "balanced");
  kept.add_ref();
  over.release();
  const std::vector<std::string> expected = {
      "{000000AA-0000-0000-0000-000000000000} kept: 1 reference(s) never released",
      "{000000BB-0000-0000-0000-000000000000} over: released 1 time(s) too often",
  };
  EXPECT_EQ(registry.leak_report(), expected);
}

TEST(ServiceRegistry, InstancesAnswerTheirClassAndCarryTheirData) {
  service_registry registry;
  auto& object = registry.add({0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}}, "Café 🎧");
  service_ref out;
  EXPECT_TRUE(object.query(out, named_service::class_guid));
  EXPECT_EQ(out.get(), &object);
  EXPECT_FALSE(object.query(out, quarlo::null_guid));
  EXPECT_EQ(object.outstanding(), 1);
  EXPECT_STREQ(object.service_name(), "Café 🎧");
  out.reset();
  EXPECT_TRUE(registry.leak_report().empty());

  host_api_impl host(registry);
  EXPECT_EQ(host.main_window(), nullptr);
  host.set_main_window(GetDesktopWindow());
  EXPECT_EQ(host.main_window(), GetDesktopWindow());
}
