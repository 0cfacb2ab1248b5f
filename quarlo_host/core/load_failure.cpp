#include "quarlo_host/core/load_failure.h"

#include <cstdio>
#include <set>
#include <vector>

#include "quarlo_host/core/pe_image.h"

namespace quarlo_host {

namespace {

// The loader's error codes that say something about the cause.
constexpr uint32_t error_access_denied = 5;
constexpr uint32_t error_mod_not_found = 126;
constexpr uint32_t error_proc_not_found = 127;
constexpr uint32_t error_bad_exe_format = 193;
constexpr uint32_t error_dll_init_failed = 1114;

constexpr char use_x86_build[] = "; use the module's 32-bit (x86) build";

// No control bytes but blanks and line ends in the first 512 bytes.
bool looks_like_text(std::string_view bytes) {
  for (const char c : bytes.substr(0, 512)) {
    const auto b = static_cast<unsigned char>(c);
    if ((b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f') || b == 0x7F) return false;
  }
  return true;
}

// Windows compares DLL names without regard to ASCII case.
std::string folded(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// "a", "a and b", "a, b and c".
std::string name_list(const std::vector<std::string>& names) {
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i != 0) out += i + 1 == names.size() ? " and " : ", ";
    out += names[i];
  }
  return out;
}

// The imported DLLs that find does not find, each once, in table order.
std::vector<std::string> missing_dlls(const pe_listing& pe, const dll_finder& find) {
  std::vector<std::string> missing;
  std::set<std::string> asked;
  for (const pe_import& import : pe.imports) {
    if (asked.insert(folded(import.dll)).second && !find(import.dll)) {
      missing.push_back(import.dll);
    }
  }
  return missing;
}

std::string for_unreadable(uint32_t error) {
  if (error == error_access_denied) return "the file cannot be read; check its permissions";
  return "the file does not exist; check the path";
}

std::string for_non_image(std::string_view bytes, const pe_error& e) {
  constexpr char give_dll[] = "; give the path of the module's .dll file";
  if (bytes.empty()) return std::string("the file is empty, not a Windows DLL") + give_dll;
  if (bytes.substr(0, 2) != "MZ") {
    if (looks_like_text(bytes))
      return std::string("it is a text file, not a Windows DLL") + give_dll;
    return std::string("it is not a Windows DLL") + give_dll;
  }
  return std::string("it is not a complete Windows DLL (") + e.what() +
         "): the file is damaged or was cut short; copy or build it again";
}

std::string for_image(uint32_t error, const pe_listing& pe, const dll_finder& find) {
  if (pe.pe32_plus || pe.machine == pe_machine_x64 || pe.machine == pe_machine_arm64) {
    return std::string("it is a 64-bit DLL, while quarlo modules are 32-bit") + use_x86_build;
  }
  if (pe.machine != pe_machine_x86) {
    char machine[8];
    std::snprintf(machine, sizeof machine, "0x%04X", pe.machine);
    return std::string("it is built for another processor (machine ") + machine +
           "), while quarlo modules are 32-bit x86 DLLs" + use_x86_build;
  }
  const std::vector<std::string> missing = missing_dlls(pe, find);
  if (!missing.empty()) {
    const bool one = missing.size() == 1;
    return "it needs " + name_list(missing) + ", which cannot be found; put " +
           (one ? "it" : "them") + " beside the module or beside the host program";
  }
  switch (error) {
    case error_mod_not_found:
      return "every DLL it imports was found, so one of them cannot be loaded or needs a DLL that "
             "is "
             "missing";
    case error_proc_not_found:
      return "a DLL it imports lacks a function it needs: a dependency is not the version the "
             "module was built against";
    case error_bad_exe_format:
      return "Windows does not accept it as a DLL: the file may be damaged; copy or build it "
             "again";
    case error_dll_init_failed:
      return "its start-up code failed (DllMain returned FALSE)";
    case error_access_denied:
      return "access to it or to a DLL it needs is denied; check the permissions";
    default:
      return "Windows refused it";
  }
}

}  // namespace

std::string explain_load_failure(std::string_view path, uint32_t error,
                                 std::optional<std::string_view> contents, const dll_finder& find) {
  std::string reason;
  if (!contents) {
    reason = for_unreadable(error);
  } else {
    std::optional<pe_listing> pe;
    try {
      pe = parse_pe(reinterpret_cast<const uint8_t*>(contents->data()), contents->size(), false);
    } catch (const pe_error& e) {
      reason = for_non_image(*contents, e);
    }
    if (pe) reason = for_image(error, *pe, find);
  }
  return "cannot load " + std::string(path) + " (error " + std::to_string(error) + "): " + reason;
}

}  // namespace quarlo_host
