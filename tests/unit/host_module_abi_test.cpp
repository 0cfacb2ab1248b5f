// How the host tells a module's ABI from its imports, and the ABI's names.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quarlo_host/core/module_abi.h"

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
