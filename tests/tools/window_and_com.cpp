// What a test program under Wine may draw from Wine's daemons: a window (the
// desktop, explorer.exe) and COM (rpcss.exe, through the running object
// table). Prints "done" last, just before it ends.
#include <objbase.h>
#include <windows.h>

#include <cstdio>

int main() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  HWND window = CreateWindowExW(0, L"STATIC", L"pipes", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100,
                                100, nullptr, nullptr, nullptr, nullptr);
  if (!window) return 2;
  IRunningObjectTable* table = nullptr;
  IEnumMoniker* running = nullptr;
  if (FAILED(GetRunningObjectTable(0, &table))) return 3;
  if (FAILED(table->EnumRunning(&running))) return 4;
  running->Release();
  table->Release();
  DestroyWindow(window);
  CoUninitialize();
  std::printf("done\n");
  std::fflush(stdout);
  return 0;
}
