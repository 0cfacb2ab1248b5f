// The host keeps one process to one ABI's quarlo_shared.dll.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "module_under_test.h"
#include "quarlo_host/core/module_abi.h"
#include "quarlo_host/runtime/host_api_impl.h"
#include "quarlo_host/runtime/loaded_module.h"

TEST(ModuleAbi, AModuleOfTheOtherAbiIsRefusedBesideALoadedOne) {
  const std::string other = other_module_under_test();
  if (other.empty()) GTEST_SKIP() << "TAMSEL_OTHER_MODULE names no build of the other ABI";
  EXPECT_NE(quarlo_host::detect_abi(quarlo_host::read_pe_file(other)), abi_under_test());
  // The other build would take the quarlo_shared.dll loaded for the first for
  // its import, and that one speaks the wrong ABI.
  quarlo_host::service_registry registry;
  quarlo_host::host_api_impl host(registry);
  const quarlo_host::loaded_module first(module_under_test(), host);
  try {
    const quarlo_host::loaded_module second(other, host);
    ADD_FAILURE() << other << " was loaded beside " << module_under_test();
  } catch (const quarlo_host::module_error& e) {
    EXPECT_NE(std::string(e.what()).find("load it in a process of its own"), std::string::npos)
        << e.what();
  }
}
