// The reference count of a test's service object: it counts every add_ref and
// release, and reports a test failure on a release below zero. An object that
// its owner frees when the count reaches zero also reports any use after that;
// one the host keeps for the whole test may drop to zero and be handed out again.
#pragma once

#include <cstdint>

#include <gtest/gtest.h>

class reference_count {
 public:
  enum lifetime { freed_at_zero, kept };

  explicit reference_count(uint32_t initial, lifetime life) : references_(initial), life_(life) {}

  uint32_t release() {
    ++releases_;
    if (freed_ || references_ == 0) {
      ADD_FAILURE() << "service released after its last reference";
      return 0;
    }
    if (--references_ == 0 && life_ == freed_at_zero) freed_ = true;
    return references_;
  }
  uint32_t add_ref() {
    ++add_refs_;
    if (freed_) ADD_FAILURE() << "service referenced after its last release";
    return ++references_;
  }

  uint32_t references() const { return references_; }
  uint32_t releases() const { return releases_; }
  uint32_t add_refs() const { return add_refs_; }

 private:
  uint32_t references_;
  uint32_t releases_ = 0;
  uint32_t add_refs_ = 0;
  lifetime life_;
  bool freed_ = false;
};
