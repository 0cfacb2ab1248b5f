#include "service/service_ref.h"

#include <cstdint>
#include <utility>

#include <gtest/gtest.h>

#include "support/fake_host.h"

namespace {

struct counts {
  uint32_t references;
  uint32_t add_refs;
  uint32_t releases;
};

void expect_counts(const counted_service& s, counts want, const char* which) {
  SCOPED_TRACE(which);
  EXPECT_EQ(s.references(), want.references);
  EXPECT_EQ(s.add_refs(), want.add_refs);
  EXPECT_EQ(s.releases(), want.releases);
}

TEST(service_ref, StartsEmptyAndDestroysWithoutCalls) {
  service_ref ref;
  EXPECT_EQ(ref.get(), nullptr);
  EXPECT_FALSE(ref);
}

TEST(service_ref, AssignAddsAReferenceAndReleasesThePreviousObject) {
  counted_service a, b;
  {
    service_ref ref;
    ref.assign(&a);
    EXPECT_EQ(ref.get(), &a);
    expect_counts(a, {2, 1, 0}, "a held");
    ref.assign(&b);
    EXPECT_EQ(ref.get(), &b);
    expect_counts(a, {1, 1, 1}, "a released on reassign");
    expect_counts(b, {2, 1, 0}, "b held");
    ref.assign(nullptr);
    EXPECT_FALSE(ref);
    expect_counts(b, {1, 1, 1}, "b released on assigning null");
  }
  expect_counts(a, {1, 1, 1}, "a after destruction");
  expect_counts(b, {1, 1, 1}, "b after destruction");
}

TEST(service_ref, AdoptTakesOverWithoutAddingAReference) {
  counted_service a(2), b(2);
  {
    service_ref ref;
    ref.adopt(&a);
    expect_counts(a, {2, 0, 0}, "a adopted");
    ref.adopt(&b);
    expect_counts(a, {1, 0, 1}, "a released on adopting b");
    expect_counts(b, {2, 0, 0}, "b adopted");
  }
  expect_counts(b, {1, 0, 1}, "b released by destruction");
}

TEST(service_ref, AdoptEmptiesTheReferenceBeforeReleasing) {
  // A release that looks back at the reference must find it already empty.
  struct watching_service final : service_base {
    service_ref* watched = nullptr;
    service_base* seen = this;
    uint32_t release() override {
      seen = watched->get();
      return 0;
    }
    uint32_t add_ref() override { return 1; }
    bool query(service_ref&, const GUID&) override { return false; }
  } s;
  service_ref ref;
  s.watched = &ref;
  ref.adopt(&s);
  ref.reset();
  EXPECT_EQ(s.seen, nullptr);
  EXPECT_FALSE(ref);
}

TEST(service_ref, AssignOfTheHeldObjectKeepsItAlive) {
  // The reference holds the object's only reference: releasing first would free it.
  counted_service only(0);
  service_ref ref;
  ref.assign(&only);
  ref.assign(&only);
  EXPECT_EQ(ref.get(), &only);
  EXPECT_EQ(only.references(), 1u);
  ref.reset();
  EXPECT_EQ(only.references(), 0u);
}

TEST(service_ref, DetachAndMoveHandOverWithoutCounting) {
  counted_service a;
  service_ref first;
  first.assign(&a);
  service_ref second(std::move(first));
  EXPECT_FALSE(first);
  EXPECT_EQ(second.get(), &a);
  service_base* raw = second.detach();
  EXPECT_EQ(raw, &a);
  EXPECT_FALSE(second);
  expect_counts(a, {2, 1, 0}, "reference handed out, not released");
  a.release();
}

}  // namespace
