#include "quarlo_host/runtime/leftover_watch.h"

#include <algorithm>
#include <mutex>

#include <tlhelp32.h>
#include <winternl.h>

#include "quarlo_host/runtime/import_slots.h"
#include "quarlo_host/runtime/window_watch.h"

namespace quarlo_host::leftover_watch {

namespace {

enum class kind { thread, thread_timer, queue_timer, windows_hook, event_hook, vectored_handler };

struct started {
  kind what;
  // The thread (a handle of the watch's own), timer id, hook or handler.
  void* handle;
  // The timer queue of a queue timer.
  HANDLE queue = nullptr;
};

using set_timer_fn = UINT_PTR(WINAPI*)(HWND, UINT_PTR, UINT, TIMERPROC);
using kill_timer_fn = BOOL(WINAPI*)(HWND, UINT_PTR);
// SetWindowsHookExA and SetWindowsHookExW.
using set_hook_fn = HHOOK(WINAPI*)(int, HOOKPROC, HINSTANCE, DWORD);
using unhook_fn = BOOL(WINAPI*)(HHOOK);
using event_hook_fn = HWINEVENTHOOK(WINAPI*)(DWORD, DWORD, HMODULE, WINEVENTPROC, DWORD, DWORD,
                                             DWORD);
using unhook_event_fn = BOOL(WINAPI*)(HWINEVENTHOOK);
using add_handler_fn = PVOID(WINAPI*)(ULONG, PVECTORED_EXCEPTION_HANDLER);
using remove_handler_fn = ULONG(WINAPI*)(PVOID);
using queue_timer_fn = BOOL(WINAPI*)(PHANDLE, HANDLE, WAITORTIMERCALLBACK, PVOID, DWORD, DWORD,
                                     ULONG);
using delete_queue_timer_fn = BOOL(WINAPI*)(HANDLE, HANDLE, HANDLE);
using delete_queue_fn = BOOL(WINAPI*)(HANDLE, HANDLE);
using create_thread_fn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE,
                                         LPVOID, DWORD, LPDWORD);
using begin_thread_ex_fn = uintptr_t(__cdecl*)(void*, unsigned, unsigned(__stdcall*)(void*), void*,
                                               unsigned, unsigned*);
using begin_thread_fn = uintptr_t(__cdecl*)(void(__cdecl*)(void*), unsigned, void*);

// Static and never destroyed: the module may call through its hooks from its
// exit list during FreeLibrary at process end.
struct watch_state {
  std::mutex lock;
  set_timer_fn set_timer = nullptr;
  kill_timer_fn kill_timer = nullptr;
  set_hook_fn hook_a = nullptr;
  set_hook_fn hook_w = nullptr;
  unhook_fn unhook = nullptr;
  event_hook_fn event_hook = nullptr;
  unhook_event_fn unhook_event = nullptr;
  add_handler_fn add_exception_handler = nullptr;
  remove_handler_fn remove_exception_handler = nullptr;
  add_handler_fn add_continue_handler = nullptr;
  remove_handler_fn remove_continue_handler = nullptr;
  queue_timer_fn queue_timer = nullptr;
  delete_queue_timer_fn delete_queue_timer = nullptr;
  delete_queue_fn delete_queue_ex = nullptr;
  create_thread_fn create_thread = nullptr;
  begin_thread_ex_fn begin_thread_ex = nullptr;
  begin_thread_fn begin_thread = nullptr;
  std::vector<started> set;
  // The module's image, for threads started some other way than its imports.
  window_watch::image_range image;
  // Threads of the module's stopped for good: they would run in unmapped code.
  std::vector<DWORD> suspended;
};

watch_state& state() {
  static auto* s = new watch_state;
  return *s;
}

void add(kind what, void* handle, HANDLE queue = nullptr) {
  if (handle == nullptr) return;
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  s.set.push_back({what, handle, queue});
}

// Forgets every entry that matches.
template <typename Match>
void forget(Match match) {
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  s.set.erase(std::remove_if(s.set.begin(), s.set.end(), match), s.set.end());
}

void forget_handle(kind what, const void* handle) {
  forget([&](const started& e) { return e.what == what && e.handle == handle; });
}

// A thread is kept by a duplicate of its handle, so the module closing its own
// does not lose it.
void add_thread(HANDLE thread) {
  HANDLE own = nullptr;
  if (thread == nullptr || thread == INVALID_HANDLE_VALUE) return;
  if (DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &own, 0, FALSE,
                      DUPLICATE_SAME_ACCESS)) {
    add(kind::thread, own);
  }
}

UINT_PTR WINAPI hook_set_timer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  const UINT_PTR made = state().set_timer(window, id, elapse, proc);
  if (window == nullptr && made != 0) {
    forget_handle(kind::thread_timer, reinterpret_cast<void*>(made));
    add(kind::thread_timer, reinterpret_cast<void*>(made));
  }
  return made;
}
BOOL WINAPI hook_kill_timer(HWND window, UINT_PTR id) {
  if (window == nullptr) forget_handle(kind::thread_timer, reinterpret_cast<void*>(id));
  return state().kill_timer(window, id);
}
HHOOK WINAPI hook_hook_a(int type, HOOKPROC proc, HINSTANCE instance, DWORD thread) {
  const HHOOK hook = state().hook_a(type, proc, instance, thread);
  add(kind::windows_hook, hook);
  return hook;
}
HHOOK WINAPI hook_hook_w(int type, HOOKPROC proc, HINSTANCE instance, DWORD thread) {
  const HHOOK hook = state().hook_w(type, proc, instance, thread);
  add(kind::windows_hook, hook);
  return hook;
}
BOOL WINAPI hook_unhook(HHOOK hook) {
  forget_handle(kind::windows_hook, hook);
  return state().unhook(hook);
}
HWINEVENTHOOK WINAPI hook_event_hook(DWORD first, DWORD last, HMODULE module, WINEVENTPROC proc,
                                     DWORD process, DWORD thread, DWORD flags) {
  const HWINEVENTHOOK hook = state().event_hook(first, last, module, proc, process, thread, flags);
  add(kind::event_hook, hook);
  return hook;
}
BOOL WINAPI hook_unhook_event(HWINEVENTHOOK hook) {
  forget_handle(kind::event_hook, hook);
  return state().unhook_event(hook);
}
PVOID WINAPI hook_add_exception_handler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler) {
  void* made = state().add_exception_handler(first, handler);
  add(kind::vectored_handler, made);
  return made;
}
ULONG WINAPI hook_remove_exception_handler(PVOID handler) {
  forget_handle(kind::vectored_handler, handler);
  return state().remove_exception_handler(handler);
}
PVOID WINAPI hook_add_continue_handler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler) {
  void* made = state().add_continue_handler(first, handler);
  add(kind::vectored_handler, made);
  return made;
}
ULONG WINAPI hook_remove_continue_handler(PVOID handler) {
  forget_handle(kind::vectored_handler, handler);
  return state().remove_continue_handler(handler);
}
BOOL WINAPI hook_queue_timer(PHANDLE timer, HANDLE queue, WAITORTIMERCALLBACK callback,
                             PVOID parameter, DWORD due, DWORD period, ULONG flags) {
  const BOOL made = state().queue_timer(timer, queue, callback, parameter, due, period, flags);
  if (made) add(kind::queue_timer, *timer, queue);
  return made;
}
BOOL WINAPI hook_delete_queue_timer(HANDLE queue, HANDLE timer, HANDLE done) {
  forget_handle(kind::queue_timer, timer);
  return state().delete_queue_timer(queue, timer, done);
}
BOOL WINAPI hook_delete_queue_ex(HANDLE queue, HANDLE done) {
  forget([&](const started& e) { return e.what == kind::queue_timer && e.queue == queue; });
  return state().delete_queue_ex(queue, done);
}
HANDLE WINAPI hook_create_thread(LPSECURITY_ATTRIBUTES security, SIZE_T stack,
                                 LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                                 LPDWORD id) {
  const HANDLE thread = state().create_thread(security, stack, start, parameter, flags, id);
  add_thread(thread);
  return thread;
}
uintptr_t __cdecl hook_begin_thread_ex(void* security, unsigned stack,
                                       unsigned(__stdcall* start)(void*), void* parameter,
                                       unsigned flags, unsigned* id) {
  const uintptr_t thread = state().begin_thread_ex(security, stack, start, parameter, flags, id);
  add_thread(reinterpret_cast<HANDLE>(thread));
  return thread;
}
uintptr_t __cdecl hook_begin_thread(void(__cdecl* start)(void*), unsigned stack, void* parameter) {
  // The runtime closes this handle when the thread ends, perhaps before it is
  // duplicated here; a thread that ended so soon is no leftover.
  const uintptr_t thread = state().begin_thread(start, stack, parameter);
  add_thread(reinterpret_cast<HANDLE>(thread));
  return thread;
}

bool running(HANDLE thread) { return WaitForSingleObject(thread, 0) == WAIT_TIMEOUT; }

// Where a thread started, as the system keeps it (0 when it will not say).
uintptr_t start_address(HANDLE thread) {
  using query_fn = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  static const auto query = reinterpret_cast<query_fn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
  constexpr ULONG start_address_class = 9;  // ThreadQuerySetWin32StartAddress
  uintptr_t start = 0;
  if (query == nullptr || query(thread, start_address_class, &start, sizeof start, nullptr) != 0) {
    return 0;
  }
  return start;
}

// The process's threads that started in the module's image and run still,
// each by a handle of its own, but those it started through its imports.
std::vector<HANDLE> threads_started_in_image(const watch_state& s) {
  std::vector<HANDLE> found;
  if (s.image.size == 0) return found;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return found;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
    const HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION | THREAD_SUSPEND_RESUME | SYNCHRONIZE,
                                     FALSE, entry.th32ThreadID);
    if (thread == nullptr) continue;
    const bool known =
        std::any_of(s.set.begin(), s.set.end(),
                    [&](const started& e) {
                      return e.what == kind::thread && GetThreadId(e.handle) == entry.th32ThreadID;
                    }) ||
        std::find(s.suspended.begin(), s.suspended.end(), entry.th32ThreadID) != s.suspended.end();
    if (!known && s.image.contains(start_address(thread)) && running(thread)) {
      found.push_back(thread);
    } else {
      CloseHandle(thread);
    }
  }
  CloseHandle(snapshot);
  return found;
}

constexpr const char* image_thread_text = "a thread that started in the module, still running";

std::string describe(const started& e) {
  switch (e.what) {
    case kind::thread:
      return "a thread it started, still running";
    case kind::thread_timer:
      return "a thread timer (SetTimer id " +
             std::to_string(reinterpret_cast<uintptr_t>(e.handle)) + ")";
    case kind::queue_timer:
      return "a timer-queue timer";
    case kind::windows_hook:
      return "a hook (SetWindowsHookEx)";
    case kind::event_hook:
      return "an event hook (SetWinEventHook)";
    case kind::vectored_handler:
      return "a vectored exception or continue handler";
  }
  return "something it started";
}

}  // namespace

uint32_t install(HMODULE module) {
  auto& s = state();
  {
    std::lock_guard<std::mutex> hold(s.lock);
    for (const started& e : s.set) {
      if (e.what == kind::thread) CloseHandle(e.handle);
    }
    s.set.clear();
    s.image = window_watch::image_of(module);
  }
  return hook_imports(module, "user32.dll",
                      {typed_hook("SetTimer", &hook_set_timer, s.set_timer),
                       typed_hook("KillTimer", &hook_kill_timer, s.kill_timer),
                       typed_hook("SetWindowsHookExA", &hook_hook_a, s.hook_a),
                       typed_hook("SetWindowsHookExW", &hook_hook_w, s.hook_w),
                       typed_hook("UnhookWindowsHookEx", &hook_unhook, s.unhook),
                       typed_hook("SetWinEventHook", &hook_event_hook, s.event_hook),
                       typed_hook("UnhookWinEvent", &hook_unhook_event, s.unhook_event)}) +
         hook_imports(
             module, "kernel32.dll",
             {typed_hook("AddVectoredExceptionHandler", &hook_add_exception_handler,
                         s.add_exception_handler),
              typed_hook("RemoveVectoredExceptionHandler", &hook_remove_exception_handler,
                         s.remove_exception_handler),
              typed_hook("AddVectoredContinueHandler", &hook_add_continue_handler,
                         s.add_continue_handler),
              typed_hook("RemoveVectoredContinueHandler", &hook_remove_continue_handler,
                         s.remove_continue_handler),
              typed_hook("CreateTimerQueueTimer", &hook_queue_timer, s.queue_timer),
              typed_hook("DeleteTimerQueueTimer", &hook_delete_queue_timer, s.delete_queue_timer),
              typed_hook("DeleteTimerQueueEx", &hook_delete_queue_ex, s.delete_queue_ex),
              typed_hook("CreateThread", &hook_create_thread, s.create_thread)}) +
         hook_imports(module, "msvcrt.dll",
                      {typed_hook("_beginthreadex", &hook_begin_thread_ex, s.begin_thread_ex),
                       typed_hook("_beginthread", &hook_begin_thread, s.begin_thread)});
}

std::vector<std::string> still_set() {
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  std::vector<std::string> found;
  for (const started& e : s.set) {
    if (e.what == kind::thread && !running(e.handle)) continue;
    found.push_back(describe(e));
  }
  for (const HANDLE thread : threads_started_in_image(s)) {
    found.push_back(image_thread_text);
    CloseHandle(thread);
  }
  return found;
}

std::vector<std::string> stop_threads() {
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  std::vector<std::string> stopped;
  const auto stop = [&](HANDLE thread, const std::string& what) {
    if (running(thread)) {
      SuspendThread(thread);
      s.suspended.push_back(GetThreadId(thread));
      stopped.push_back(what);
    }
    CloseHandle(thread);
  };
  for (const HANDLE thread : threads_started_in_image(s)) {
    stop(thread, image_thread_text);
  }
  for (const started& e : s.set) {
    if (e.what == kind::thread) stop(e.handle, describe(e));
  }
  s.set.erase(std::remove_if(s.set.begin(), s.set.end(),
                             [](const started& e) { return e.what == kind::thread; }),
              s.set.end());
  return stopped;
}

void end_all() {
  stop_threads();
  auto& s = state();
  std::vector<started> set;
  {
    std::lock_guard<std::mutex> hold(s.lock);
    set.swap(s.set);
  }
  for (const started& e : set) {
    switch (e.what) {
      case kind::thread:
        break;
      case kind::thread_timer:
        KillTimer(nullptr, reinterpret_cast<UINT_PTR>(e.handle));
        break;
      case kind::queue_timer:
        DeleteTimerQueueTimer(e.queue, e.handle, INVALID_HANDLE_VALUE);
        break;
      case kind::windows_hook:
        UnhookWindowsHookEx(static_cast<HHOOK>(e.handle));
        break;
      case kind::event_hook:
        UnhookWinEvent(static_cast<HWINEVENTHOOK>(e.handle));
        break;
      case kind::vectored_handler:
        // Either kind: each removal refuses a handle that is not of its list.
        if (RemoveVectoredExceptionHandler(e.handle) == 0) RemoveVectoredContinueHandler(e.handle);
        break;
    }
  }
}

}  // namespace quarlo_host::leftover_watch
