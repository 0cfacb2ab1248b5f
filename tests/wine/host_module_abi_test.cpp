// How the host tells a module's ABI and keeps one process to one ABI's
// quarlo_shared.dll.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "module_under_test.h"
#include "quarlo_host/host_api_impl.h"
#include "quarlo_host/loaded_module.h"
#include "quarlo_host/module_abi.h"

using quarlo_host::module_abi;

TEST(ModuleAbi, FoundFromTheRuntimeTheModuleImports) {
  struct row {
    std::vector<std::string> dlls;
    module_abi abi;
  };
  const row rows[] = {
      {{"KERNEL32.dll", "msvcrt.dll", "quarlo_shared.dll"}, module_abi::msvc},
      {{"KERNEL32.dll", "VCRUNTIME140.dll", "api-ms-win-crt-heap-l1-1-0.dll"}, module_abi::msvc},
      {{"KERNEL32.dll"}, module_abi::msvc},
      {{"msvcrt.dll", "libgcc_s_dw2-1.dll", "libstdc++-6.dll"}, module_abi::gnu},
      {{"LIBSTDC++-6.DLL"}, module_abi::gnu},
      {{"libgcc_s_sjlj-1.dll"}, module_abi::gnu},
  };
  for (const row& r : rows) {
    quarlo_host::pe_listing image;
    for (const std::string& dll : r.dlls) image.imports.push_back({dll, {}});
    EXPECT_EQ(quarlo_host::detect_abi(image), r.abi) << testing::PrintToString(r.dlls);
  }
  module_abi parsed = module_abi::gnu;
  EXPECT_TRUE(quarlo_host::parse_abi("msvc", parsed));
  EXPECT_EQ(parsed, module_abi::msvc);
  EXPECT_FALSE(quarlo_host::parse_abi("MSVC", parsed));
  EXPECT_FALSE(quarlo_host::parse_abi("", parsed));
}

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
