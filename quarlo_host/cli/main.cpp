// quarlo_host.exe: a stand-in for the quarlo host that loads and drives modules.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "quarlo/win32.h"
#include "quarlo_host/cli/commands.h"
#include "quarlo_host/runtime/crash_report.h"
#include "quarlo_host/runtime/utf.h"

#include <shellapi.h>

int main() {
  // Arguments as UTF-8, whatever the console's code page.
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wide != nullptr && i < count; ++i) args.push_back(quarlo_host::to_utf8(wide[i]));
  LocalFree(wide);
  SetConsoleOutputCP(CP_UTF8);
  // The UTF-8 bytes go out as they are: no CR added before each line feed.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // A module that crashes the host is told in one line (check-case tells it
  // in its result instead).
  quarlo_host::end_quietly_on_crash();
  return quarlo_host::run_host(args, std::cout, std::cerr);
}
