// Watches the windows and window classes of one loaded module. install
// patches the module's imports of RegisterClass(Ex)A/W, so every class it
// registers is known; the windows whose window or dialog procedure lies in
// the module's image are found by walking the calling thread's windows.
//
// Both stay answerable after the module unloads: the image's range is kept,
// so a window that outlives the module (its next message would jump into
// unmapped code) and a class still registered are found then too, and
// disarm makes such a window harmless before the host destroys it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quarlo/win32.h"

namespace quarlo_host::window_watch {

// Where a module's image lies in memory.
struct image_range {
  uintptr_t base = 0;
  uintptr_t size = 0;
  bool contains(uintptr_t address) const { return address - base < size; }
};
image_range image_of(HMODULE module);

// Redirects module's imports of RegisterClass(Ex)A/W to the watch; returns
// how many were patched. Forgets the classes of any module watched before.
uint32_t install(HMODULE module);

struct window_class {
  HINSTANCE instance = nullptr;
  // The name it was registered under; empty when registered by atom alone.
  std::wstring name;
  ATOM atom = 0;
};
// The classes the module registered since install, and those of its windows
// that find_windows has seen, once each.
std::vector<window_class> registered_classes();
bool still_registered(const window_class& c);

struct module_window {
  HWND window = nullptr;
  std::wstring class_name;
  bool top_level = false;
  bool visible = false;
};
// This thread's windows (top-level ones, their descendants and message-only
// ones) whose window procedure or dialog procedure lies in image.
std::vector<module_window> find_windows(const image_range& image);

// The class name and, when it has one, the caption of a window, for reports;
// sends the window no message.
std::string describe(HWND window);

// Points a window of an unloaded module, and its descendants, at the
// system's default procedures and destroys it, so no message reaches the
// unmapped code.
void disarm(HWND window);
// Unregisters a class the module left behind (once no window of it is alive).
void unregister(const window_class& c);

}  // namespace quarlo_host::window_watch
