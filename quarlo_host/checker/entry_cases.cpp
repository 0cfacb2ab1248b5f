// entry: the file itself and quarlo_get_interface.
#include <string>

#include "quarlo/win32.h"
#include "quarlo_host/checker/check_areas.h"
#include "quarlo_host/checker/check_session.h"
#include "quarlo_host/checker/pe_hardening.h"
#include "quarlo_host/runtime/file_version.h"
#include "quarlo_host/runtime/host_files.h"

namespace quarlo_host {

namespace {

// DLLs of the system, and the runtime a GNU-ABI module shares with its host.
constexpr const char* system_dlls[] = {
    "kernel32.dll", "user32.dll",   "gdi32.dll",        "advapi32.dll", "comctl32.dll",
    "comdlg32.dll", "shell32.dll",  "shlwapi.dll",      "ole32.dll",    "oleaut32.dll",
    "version.dll",  "winmm.dll",    "ws2_32.dll",       "uxtheme.dll",  "ntdll.dll",
    "msvcrt.dll",   "ucrtbase.dll", "quarlo_shared.dll"};
constexpr const char* gnu_runtime_dlls[] = {"libgcc_s_dw2-1.dll", "libstdc++-6.dll",
                                            "libwinpthread-1.dll"};
constexpr const char* shared_functions[] = {"uGetDlgItemText", "uSetDlgItemTextEx"};

template <size_t n>
bool listed(const std::string& name, const char* const (&list)[n]) {
  for (const char* entry : list) {
    if (_stricmp(name.c_str(), entry) == 0) return true;
  }
  return false;
}

check_result check_loads(const check_context& context) {
  check_session s(context);
  return passed(std::string("driven in the ") + abi_name(s.module().abi()) + " ABI");
}

check_result check_single_export(const check_context& context) {
  const pe_listing pe = read_pe_file(context.module_path);
  if (pe.exports == std::vector<std::string>{"quarlo_get_interface"}) return passed();
  std::string names;
  for (const auto& e : pe.exports) names += (names.empty() ? "" : ", ") + e;
  return expected_got("exports quarlo_get_interface alone", names.empty() ? "none" : names);
}

check_result check_same_client(const check_context& context) {
  check_session s(context);
  module_client* again = s.module().enter(s.host());
  if (again != &s.client()) return expected_got("the same client from a second call", "another");
  return passed();
}

check_result check_shared_imports(const check_context& context) {
  for (const auto& dll : read_pe_file(context.module_path).imports) {
    if (_stricmp(dll.dll.c_str(), "quarlo_shared.dll") != 0) continue;
    for (const auto& name : dll.names) {
      if (!listed(name, shared_functions)) {
        return expected_got("uGetDlgItemText or uSetDlgItemTextEx", name);
      }
    }
    return passed(std::to_string(dll.names.size()) + " function(s)");
  }
  return skipped("does not import quarlo_shared.dll");
}

check_result check_foreign_imports(const check_context& context) {
  const pe_listing pe = read_pe_file(context.module_path);
  const bool gnu = detect_abi(pe) == module_abi::gnu;
  std::string foreign;
  for (const auto& dll : pe.imports) {
    const bool api_set = _strnicmp(dll.dll.c_str(), "api-ms-win-", 11) == 0;
    if (api_set || listed(dll.dll, system_dlls) || (gnu && listed(dll.dll, gnu_runtime_dlls))) {
      continue;
    }
    foreign += (foreign.empty() ? "" : ", ") + dll.dll;
  }
  if (foreign.empty()) return passed();
  return warning("imports " + foreign + ", which a host does not provide");
}

check_result check_version_resource(const check_context& context) {
  const auto version = file_version(context.module_path);
  if (!version) return warning("no version resource");
  return passed(*version);
}

check_result check_hardening(const check_context& context) {
  std::string image;
  if (!read_file(context.module_path, image)) return failed("cannot read the file");
  const auto flags = dll_characteristics(image);
  if (!flags) return failed("no PE optional header");
  std::string missing;
  if ((*flags & pe_dynamic_base) == 0) missing += " ASLR (dynamic base)";
  if ((*flags & pe_nx_compat) == 0) missing += " DEP (NX compatible)";
  if (!missing.empty()) return warning("without" + missing);
  return passed();
}

}  // namespace

std::vector<check_case> entry_cases() {
  return {
      {"entry.loads", "loads and quarlo_get_interface returns a client",
       "a module the host cannot load or enter offers nothing", check_loads},
      {"entry.single_export", "exports quarlo_get_interface and nothing else",
       "the host looks for one name; anything more is an interface nobody agreed on",
       check_single_export},
      {"entry.same_client", "quarlo_get_interface twice returns the same client",
       "the host may enter the module again and must reach the same state", check_same_client},
      {"entry.shared_imports", "imports from quarlo_shared.dll only the functions it offers",
       "a missing import makes the module unloadable in the real host", check_shared_imports},
      {"entry.foreign_imports", "imports only system DLLs, quarlo_shared.dll and its ABI's runtime",
       "any other DLL must ship beside the module and may clash with the host's (warning)",
       check_foreign_imports},
      {"entry.version_resource", "carries a version resource",
       "users and support tell builds apart by the file's version (warning)",
       check_version_resource},
      {"entry.pe_hardening", "is built for ASLR and DEP",
       "an image without them weakens the host's process (warning)", check_hardening},
  };
}

}  // namespace quarlo_host
