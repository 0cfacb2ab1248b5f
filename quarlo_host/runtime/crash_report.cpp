#include "quarlo_host/runtime/crash_report.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include <dbghelp.h>

#include "quarlo_host/core/pe_image.h"

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

}  // namespace

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
