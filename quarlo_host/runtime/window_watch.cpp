#include "quarlo_host/runtime/window_watch.h"

#include <cwchar>
#include <mutex>

#include "quarlo_host/runtime/import_slots.h"
#include "quarlo_host/runtime/utf.h"
#include "quarlo_host/runtime/win32_windows.h"

namespace quarlo_host::window_watch {

namespace {

using register_w_fn = ATOM(WINAPI*)(const WNDCLASSW*);
using register_a_fn = ATOM(WINAPI*)(const WNDCLASSA*);
using register_ex_w_fn = ATOM(WINAPI*)(const WNDCLASSEXW*);
using register_ex_a_fn = ATOM(WINAPI*)(const WNDCLASSEXA*);

// Static and never destroyed: the module may register classes from its exit
// list during FreeLibrary at process end.
struct watch_state {
  std::mutex lock;
  register_w_fn real_w = nullptr;
  register_a_fn real_a = nullptr;
  register_ex_w_fn real_ex_w = nullptr;
  register_ex_a_fn real_ex_a = nullptr;
  std::vector<window_class> classes;
};

watch_state& state() {
  static auto* s = new watch_state;
  return *s;
}

// The name to pass to the class functions: the class's name, or its atom.
LPCWSTR class_key(const window_class& c) {
  return c.name.empty() ? reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(c.atom))
                        : c.name.c_str();
}

bool same_class(const window_class& a, const window_class& b) {
  return a.instance == b.instance && a.atom == b.atom && a.name == b.name;
}

void remember(const window_class& c) {
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  for (const auto& known : s.classes) {
    if (same_class(known, c)) return;
  }
  s.classes.push_back(c);
}

bool is_atom(const void* name) { return (reinterpret_cast<uintptr_t>(name) >> 16) == 0; }

std::wstring wide_name(LPCWSTR name) { return is_atom(name) ? std::wstring() : name; }

std::wstring wide_name(LPCSTR name) {
  if (is_atom(name)) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
  std::wstring wide(n > 0 ? n : 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, name, -1, wide.data(), n);
  wide.resize(wide.size() - 1);
  return wide;
}

template <class Name>
ATOM remember_registered(ATOM atom, HINSTANCE instance, Name name) {
  if (atom != 0) remember({instance, wide_name(name), atom});
  return atom;
}

ATOM WINAPI hook_register_w(const WNDCLASSW* c) {
  return remember_registered(state().real_w(c), c->hInstance, c->lpszClassName);
}
ATOM WINAPI hook_register_a(const WNDCLASSA* c) {
  return remember_registered(state().real_a(c), c->hInstance, c->lpszClassName);
}
ATOM WINAPI hook_register_ex_w(const WNDCLASSEXW* c) {
  return remember_registered(state().real_ex_w(c), c->hInstance, c->lpszClassName);
}
ATOM WINAPI hook_register_ex_a(const WNDCLASSEXA* c) {
  return remember_registered(state().real_ex_a(c), c->hInstance, c->lpszClassName);
}

// The procedures a window runs: its own, read as both kinds of window (a
// window of the other kind reads as a thunk), and a dialog's procedure.
bool runs_in(HWND window, const image_range& image) {
  if (image.contains(static_cast<uintptr_t>(GetWindowLongPtrW(window, GWLP_WNDPROC))) ||
      image.contains(static_cast<uintptr_t>(GetWindowLongPtrA(window, GWLP_WNDPROC)))) {
    return true;
  }
  return is_dialog(window) &&
         (image.contains(static_cast<uintptr_t>(GetWindowLongPtrW(window, DWLP_DLGPROC))) ||
          image.contains(static_cast<uintptr_t>(GetWindowLongPtrA(window, DWLP_DLGPROC))));
}

// This thread's windows: top-level and message-only ones, and all below them.
std::vector<HWND> thread_windows() {
  std::vector<HWND> roots = top_level_windows(GetCurrentThreadId());
  for (HWND h = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); h != nullptr;
       h = FindWindowExW(HWND_MESSAGE, h, nullptr, nullptr)) {
    if (GetWindowThreadProcessId(h, nullptr) == GetCurrentThreadId()) roots.push_back(h);
  }
  std::vector<HWND> all;
  for (HWND root : roots) {
    all.push_back(root);
    const std::vector<HWND> below = descendants(root);
    all.insert(all.end(), below.begin(), below.end());
  }
  return all;
}

}  // namespace

image_range image_of(HMODULE module) {
  const auto* base = reinterpret_cast<const uint8_t*>(module);
  const auto& dos = *reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto& nt = *reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos.e_lfanew);
  return {reinterpret_cast<uintptr_t>(base), nt.OptionalHeader.SizeOfImage};
}

uint32_t install(HMODULE module) {
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  s.classes.clear();
  return hook_imports(module, "user32.dll",
                      {{"RegisterClassW", reinterpret_cast<void*>(&hook_register_w),
                        reinterpret_cast<void**>(&s.real_w)},
                       {"RegisterClassA", reinterpret_cast<void*>(&hook_register_a),
                        reinterpret_cast<void**>(&s.real_a)},
                       {"RegisterClassExW", reinterpret_cast<void*>(&hook_register_ex_w),
                        reinterpret_cast<void**>(&s.real_ex_w)},
                       {"RegisterClassExA", reinterpret_cast<void*>(&hook_register_ex_a),
                        reinterpret_cast<void**>(&s.real_ex_a)}});
}

std::vector<window_class> registered_classes() {
  auto& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  return s.classes;
}

bool still_registered(const window_class& c) {
  WNDCLASSEXW info{};
  info.cbSize = sizeof info;
  return GetClassInfoExW(c.instance, class_key(c), &info) != FALSE;
}

std::vector<module_window> find_windows(const image_range& image) {
  std::vector<module_window> found;
  for (HWND h : thread_windows()) {
    if (!runs_in(h, image)) continue;
    const bool child = (GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD) != 0;
    found.push_back({h, class_name(h), !child, IsWindowVisible(h) != FALSE});
    // A class of the module's own: its procedure or its instance is the module's.
    const auto instance = reinterpret_cast<HINSTANCE>(GetClassLongPtrW(h, GCLP_HMODULE));
    if (image.contains(static_cast<uintptr_t>(GetClassLongPtrW(h, GCLP_WNDPROC))) ||
        image.contains(reinterpret_cast<uintptr_t>(instance))) {
      remember({instance, found.back().class_name, static_cast<ATOM>(GetClassWord(h, GCW_ATOM))});
    }
  }
  return found;
}

std::string describe(HWND window) {
  wchar_t caption[128] = {};
  const int n = InternalGetWindowText(window, caption, 128);
  std::string text = "a window of class " + to_utf8(class_name(window));
  if (n > 0) text += " \"" + to_utf8(std::wstring_view(caption, n)) + "\"";
  return text;
}

void disarm(HWND window) {
  std::vector<HWND> all = descendants(window);
  all.push_back(window);
  for (HWND h : all) {
    if (is_dialog(h)) SetWindowLongPtrW(h, DWLP_DLGPROC, 0);
    SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcW));
  }
  DestroyWindow(window);
}

void unregister(const window_class& c) { UnregisterClassW(class_key(c), c.instance); }

}  // namespace quarlo_host::window_watch
