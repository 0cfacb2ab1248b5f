// The built DLLs' export and import tables, read from their files.
#include <ctype.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "module_under_test.h"
#include "quarlo_host/runtime/host_files.h"

using quarlo_host::pe_listing;
using quarlo_host::read_pe_file;

namespace {

const quarlo_host::pe_import* find_dll(const pe_listing& pe, const std::string& dll) {
  for (const auto& entry : pe.imports) {
    if (_stricmp(entry.dll.c_str(), dll.c_str()) == 0) return &entry;
  }
  return nullptr;
}

bool imports(const quarlo_host::pe_import& dll, const std::string& name) {
  return std::find(dll.names.begin(), dll.names.end(), name) != dll.names.end();
}

}  // namespace

TEST(ModuleImage, ExportsOnlyTheEntryUndecorated) {
  const pe_listing pe = read_pe_file(module_under_test());
  EXPECT_EQ(pe.exports, std::vector<std::string>{"quarlo_get_interface"});
}

TEST(ModuleImage, ImportsBothTextFunctionsFromTheSharedLibrary) {
  // Wine stubs a missing import rather than refusing the DLL, so loading it
  // proves nothing; the import table does.
  const pe_listing pe = read_pe_file(module_under_test());
  const auto* shared = find_dll(pe, "quarlo_shared.dll");
  ASSERT_NE(shared, nullptr);
  EXPECT_TRUE(imports(*shared, "uGetDlgItemText"));
  EXPECT_TRUE(imports(*shared, "uSetDlgItemTextEx"));
}

TEST(ModuleImage, HeapCallsGoThroughTheCRuntimeImports) {
  // The heap watch redirects these import slots; a module that reached the
  // heap another way would escape it.
  const pe_listing pe = read_pe_file(module_under_test());
  const auto* crt = find_dll(pe, "msvcrt.dll");
  ASSERT_NE(crt, nullptr);
  for (const char* name : {"malloc", "realloc", "free"}) {
    EXPECT_TRUE(imports(*crt, name)) << name;
  }
}

TEST(ModuleImage, ImportsTheRuntimeOfItsAbi) {
  const pe_listing pe = read_pe_file(module_under_test());
  if (abi_under_test() == quarlo_host::module_abi::gnu) {
    // Exceptions cross between module and host only with one shared libgcc.
    EXPECT_NE(find_dll(pe, "libgcc_s_dw2-1.dll"), nullptr);
    return;
  }
  // Nothing but system DLLs and the host's shared library, so nothing need
  // ship beside the module; its exceptions are msvcrt.dll's.
  const std::set<std::string> allowed = {"kernel32.dll", "user32.dll", "msvcrt.dll", "ntdll.dll",
                                         "quarlo_shared.dll"};
  for (const auto& dll : pe.imports) {
    std::string name = dll.dll;
    for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(allowed.count(name), 1u) << dll.dll;
  }
  const auto* crt = find_dll(pe, "msvcrt.dll");
  ASSERT_NE(crt, nullptr);
  EXPECT_TRUE(imports(*crt, "_CxxThrowException"));
  EXPECT_TRUE(imports(*crt, "__CxxFrameHandler3"));
}

TEST(ModuleImage, IsA32BitX86Image) {
  const pe_listing pe = read_pe_file(module_under_test());
  EXPECT_EQ(pe.machine, quarlo_host::pe_machine_x86);
  EXPECT_FALSE(pe.pe32_plus);
}

TEST(SharedLibraryImage, ExportsExactlyTheTwoTextFunctions) {
  pe_listing pe = read_pe_file(folder_under_test() + "quarlo_shared.dll");
  std::sort(pe.exports.begin(), pe.exports.end());
  EXPECT_EQ(pe.exports, (std::vector<std::string>{"uGetDlgItemText", "uSetDlgItemTextEx"}));
}

TEST(PeFile, MissingFileIsAnError) {
  EXPECT_THROW(read_pe_file("no-such-file.dll"), quarlo_host::pe_error);
}
