// Runs quarlo_host.exe, which sits beside the test programs, in a process of
// its own, as a user or a CI job does.
#pragma once

#include <string>

#include "quarlo/win32.h"

struct host_program_result {
  DWORD exit_code;
  std::string output;  // both streams, as written
};

inline host_program_result run_host_program(const std::string& arguments) {
  host_program_result result{~DWORD{0}, {}};
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 1 << 16)) return result;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  std::string command = "quarlo_host.exe " + arguments;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
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
