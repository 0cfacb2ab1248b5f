#include "quarlo_host/runtime/crash_report.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <dbghelp.h>

#include "quarlo_host/core/pe_image.h"
#include "quarlo_host/runtime/utf.h"

namespace quarlo_host {

namespace {

// text with what JSON or a report line cannot hold as it is replaced by '?'.
void keep_plain(char* text) {
  for (; *text != '\0'; ++text) {
    const char c = *text;
    if (c < ' ' || c > '~' || c == '"' || c == '\\') *text = '?';
  }
}

// The file name of module, plain ASCII.
void module_name(HMODULE module, char* name, size_t size) {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
  path[n < MAX_PATH ? n : MAX_PATH - 1] = L'\0';
  const wchar_t* base = path;
  for (const wchar_t* p = path; *p != L'\0'; ++p) {
    if (*p == L'\\' || *p == L'/') base = p + 1;
  }
  size_t i = 0;
  for (; base[i] != L'\0' && i + 1 < size; ++i) {
    name[i] = base[i] < 0x80 ? static_cast<char>(base[i]) : '?';
  }
  name[i] = '\0';
}

// The size of the image the loader mapped at module.
size_t image_size(HMODULE module) {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const uint8_t*>(dos) +
                                                             dos->e_lfanew);
  return nt->OptionalHeader.SizeOfImage;
}

// Where address lies: "MODULE+0xOFFSET (EXPORT+0xN)", or the bare address in
// no module.
void describe_address(uintptr_t address, char* text, size_t size) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(address), &module)) {
    std::snprintf(text, size, "0x%08lX, in no loaded module (one unloaded?)",
                  static_cast<unsigned long>(address));
    return;
  }
  char name[MAX_PATH];
  module_name(module, name, sizeof name);
  const auto base = reinterpret_cast<uintptr_t>(module);
  const auto rva = static_cast<uint32_t>(address - base);
  pe_symbol symbol;
  try {
    pe_view view(reinterpret_cast<const uint8_t*>(module), image_size(module), true);
    symbol = nearest_export(view, rva);
  } catch (const pe_error&) {
    symbol = {};
  }
  int n = std::snprintf(text, size, "%s+0x%lX", name, static_cast<unsigned long>(rva));
  if (!symbol.name.empty() && n > 0 && static_cast<size_t>(n) < size) {
    std::snprintf(text + n, size - n, " (%.*s+0x%lX)", static_cast<int>(symbol.name.size()),
                  symbol.name.data(), static_cast<unsigned long>(rva - symbol.rva));
  }
}

void write_err(const char* text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written,
            nullptr);
}

LONG WINAPI end_with_one_line(EXCEPTION_POINTERS* info) {
  char line[768] = "quarlo_host: crashed: ";
  const size_t prefix = std::strlen(line);
  describe_crash(*info->ExceptionRecord, line + prefix, sizeof line - prefix - 1);
  std::strcat(line, "\n");
  write_err(line);
  TerminateProcess(GetCurrentProcess(), info->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

// dbghelp's symbol functions, found at run time as MiniDumpWriteDump is.
struct symbol_functions {
  decltype(&SymSetOptions) set_options;
  decltype(&SymInitializeW) initialize;
  decltype(&SymLoadModuleExW) load_module;
  decltype(&SymGetModuleInfoW64) module_info;
  decltype(&SymFromAddrW) from_address;
  decltype(&SymCleanup) cleanup;
};

template <typename F>
bool find(HMODULE dbghelp, const char* name, F& f) {
  f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dbghelp, name)));
  return f != nullptr;
}

// The function the PDB of the module at path names at rva, and how far past
// its start rva lies.
bool pdb_function(const std::wstring& path, uint32_t rva, std::string& name, uint32_t& offset) {
  const HMODULE dbghelp = LoadLibraryW(L"dbghelp.dll");
  if (dbghelp == nullptr) return false;
  symbol_functions f{};
  bool found = find(dbghelp, "SymSetOptions", f.set_options) &&
               find(dbghelp, "SymInitializeW", f.initialize) &&
               find(dbghelp, "SymLoadModuleExW", f.load_module) &&
               find(dbghelp, "SymGetModuleInfoW64", f.module_info) &&
               find(dbghelp, "SymFromAddrW", f.from_address) &&
               find(dbghelp, "SymCleanup", f.cleanup);
  // A session of its own, apart from any process: the module is read from
  // its file, and its PDB looked for beside it.
  const auto session = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7A5E));
  const std::wstring folder = path.substr(0, path.find_last_of(L"\\/") + 1);
  if (found) {
    f.set_options(SYMOPT_UNDNAME | SYMOPT_FAIL_CRITICAL_ERRORS | SYMOPT_NO_PROMPTS);
    found = f.initialize(session, folder.c_str(), FALSE) != FALSE;
  }
  if (found) {
    const DWORD64 base = f.load_module(session, nullptr, path.c_str(), nullptr, 0, 0, nullptr, 0);
    IMAGEHLP_MODULEW64 module{};
    module.SizeOfStruct = sizeof module;
    alignas(SYMBOL_INFOW) char buffer[sizeof(SYMBOL_INFOW) + 256 * sizeof(wchar_t)] = {};
    auto* symbol = reinterpret_cast<SYMBOL_INFOW*>(buffer);
    symbol->SizeOfStruct = sizeof(SYMBOL_INFOW);
    symbol->MaxNameLen = 256;
    DWORD64 displacement = 0;
    // Only what the database names: dbghelp falls back to the exports.
    found = base != 0 && f.module_info(session, base, &module) && module.SymType == SymPdb &&
            f.from_address(session, base + rva, &displacement, symbol);
    if (found) {
      name = to_utf8(std::wstring_view(symbol->Name, symbol->NameLen));
      offset = static_cast<uint32_t>(displacement);
    }
    f.cleanup(session);
  }
  FreeLibrary(dbghelp);
  return found;
}

}  // namespace

std::string with_pdb_symbol(const std::string& details, const std::string& module_path) {
  const std::string file = module_path.substr(module_path.find_last_of("\\/") + 1);
  const std::string where = " at " + file + "+0x";
  const size_t at = details.find(where);
  if (at == std::string::npos) return details;
  const char* hex = details.c_str() + at + where.size();
  char* end = nullptr;
  const auto rva = static_cast<uint32_t>(std::strtoul(hex, &end, 16));
  std::string name;
  uint32_t offset = 0;
  if (end == hex || !pdb_function(to_wide(module_path), rva, name, offset)) return details;
  size_t rest = static_cast<size_t>(end - details.c_str());
  // The nearest export, when there was one, gives way.
  const size_t export_end = details.find(')', rest);
  if (details.compare(rest, 2, " (") == 0 && export_end != std::string::npos) rest = export_end + 1;
  char text[32];
  std::snprintf(text, sizeof text, "+0x%lX)", static_cast<unsigned long>(offset));
  std::string plain = name + text;
  keep_plain(plain.data());
  return details.substr(0, static_cast<size_t>(end - details.c_str())) + " (" + plain +
         details.substr(rest);
}

void describe_crash(const EXCEPTION_RECORD& record, char* text, size_t size) {
  if (size == 0) return;
  char where[MAX_PATH + 160];
  describe_address(reinterpret_cast<uintptr_t>(record.ExceptionAddress), where, sizeof where);
  int n = std::snprintf(text, size, "exception 0x%08lX at %s",
                        static_cast<unsigned long>(record.ExceptionCode), where);
  // An access violation says what it did, and where.
  if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2 && n > 0 &&
      static_cast<size_t>(n) < size) {
    const ULONG_PTR how = record.ExceptionInformation[0];
    std::snprintf(text + n, size - n, ", %s 0x%08lX",
                  how == 0   ? "reading"
                  : how == 8 ? "executing"
                             : "writing",
                  static_cast<unsigned long>(record.ExceptionInformation[1]));
  }
  keep_plain(text);
}

DWORD write_minidump(HANDLE process, DWORD thread_id, uintptr_t pointers, const wchar_t* path) {
  using write_fn =
      BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                    PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);
  const HMODULE dbghelp = LoadLibraryW(L"dbghelp.dll");
  if (dbghelp == nullptr) return GetLastError();
  const auto write = reinterpret_cast<write_fn>(
      reinterpret_cast<void*>(GetProcAddress(dbghelp, "MiniDumpWriteDump")));
  DWORD error = write == nullptr ? GetLastError() : ERROR_SUCCESS;
  const HANDLE file =
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE && error == ERROR_SUCCESS) error = GetLastError();
  if (write != nullptr && file != INVALID_HANDLE_VALUE) {
    // The pointers are the crashed process's own.
    MINIDUMP_EXCEPTION_INFORMATION exception{thread_id,
                                             reinterpret_cast<EXCEPTION_POINTERS*>(pointers), TRUE};
    if (!write(process, GetProcessId(process), file, MiniDumpNormal, &exception, nullptr,
               nullptr)) {
      error = GetLastError();
      // Some failures leave no code: still a failure.
      if (error == ERROR_SUCCESS) error = ERROR_GEN_FAILURE;
    }
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (error != ERROR_SUCCESS) DeleteFileW(path);
  FreeLibrary(dbghelp);
  return error;
}

void end_quietly_on_crash() {
  SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(end_with_one_line);
}

}  // namespace quarlo_host
