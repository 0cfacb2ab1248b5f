// What a test expects of the module's heap once the module has unloaded:
// every block it allocated since blocks_at_start freed, and nothing written
// past a block's end or after its free, no block freed twice.
#pragma once

#include <cstdint>

#include <gtest/gtest.h>

#include "quarlo_host/runtime/heap_watch.h"

inline void expect_heap_clean_after_unload(uint32_t blocks_at_start) {
  EXPECT_EQ(quarlo_host::heap_watch::live_blocks(), blocks_at_start)
      << "the module left blocks alive after unloading";
  for (const auto& fault : quarlo_host::heap_watch::take_faults()) {
    ADD_FAILURE() << "the module's heap: " << quarlo_host::heap_fault_text(fault);
  }
}
