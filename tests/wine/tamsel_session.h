// A fixture that loads the tamsel.dll under test with the heap watch for each test
// and, after unloading it, expects every block the module allocated freed and
// every reference it took released.
#pragma once

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "heap_after_unload.h"
#include "module_under_test.h"
#include "quarlo_host/runtime/heap_watch.h"
#include "quarlo_host/runtime/host_api_impl.h"
#include "quarlo_host/runtime/loaded_module.h"

struct tamsel_session : ::testing::Test {
  void SetUp() override { load(module_under_test()); }

  // Loads the module at path with the heap watch, the one loaded before unloaded first.
  void load(const std::string& path) {
    module.reset();
    quarlo_host::heap_watch::reset();
    blocks_at_start = quarlo_host::heap_watch::live_blocks();
    module.emplace(path, host, true);
    // malloc and free at least; without them nothing would be seen.
    ASSERT_GE(module->watched_imports(), 2u);
    quarlo_host::heap_watch::reset();
  }

  void TearDown() override {
    module.reset();
    EXPECT_EQ(GetModuleHandleW(L"tamsel.dll"), nullptr) << "tamsel.dll still loaded";
    expect_heap_clean_after_unload(blocks_at_start);
    EXPECT_TRUE(registry.leak_report().empty());
  }

  module_client& client() { return module->client(); }
  // Blocks the module holds now beyond those at the start of the test.
  uint32_t new_blocks() const { return quarlo_host::heap_watch::live_blocks() - blocks_at_start; }

  quarlo_host::service_registry registry;
  quarlo_host::host_api_impl host{registry};
  std::optional<quarlo_host::loaded_module> module;
  uint32_t blocks_at_start = 0;
};
