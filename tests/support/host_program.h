// Runs quarlo_host.exe, which sits beside the test programs, in a process of
// its own, as a user or a CI job does.
#pragma once

#include <wchar.h>

#include <string>
#include <vector>

#include "quarlo/win32.h"

struct host_program_result {
  DWORD exit_code;
  std::string output;  // both streams, as written
};

// This process's environment without the variables named in unset, as
// CreateProcessW takes it.
inline std::wstring environment_without(const std::vector<std::wstring>& unset) {
  std::wstring block;
  wchar_t* all = GetEnvironmentStringsW();
  for (const wchar_t* entry = all; *entry != L'\0'; entry += wcslen(entry) + 1) {
    const std::wstring text(entry);
    bool kept = true;
    for (const std::wstring& name : unset) {
      kept = kept && _wcsnicmp(text.c_str(), (name + L"=").c_str(), name.size() + 1) != 0;
    }
    if (kept) block += text + L'\0';
  }
  FreeEnvironmentStringsW(all);
  return block + L'\0';
}

// quarlo_host.exe with arguments (ASCII); without the environment variables named in
// unset, when any are.
inline host_program_result run_host_program(const std::string& arguments,
                                            const std::vector<std::wstring>& unset = {}) {
  host_program_result result{~DWORD{0}, {}};
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 1 << 16)) return result;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  std::wstring command = L"quarlo_host.exe " + std::wstring(arguments.begin(), arguments.end());
  std::wstring environment = environment_without(unset);
  PROCESS_INFORMATION process{};
  const BOOL started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                     unset.empty() ? nullptr : environment.data(), nullptr, &startup, &process);
  CloseHandle(write_end);
  if (started) {
    CloseHandle(process.hThread);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got != 0) {
      result.output.append(buffer, got);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &result.exit_code);
    CloseHandle(process.hProcess);
  }
  CloseHandle(read_end);
  return result;
}
