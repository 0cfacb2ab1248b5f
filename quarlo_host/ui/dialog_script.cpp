#include "quarlo_host/ui/dialog_script.h"

#include <cstring>
#include <string>
#include <utility>

#include "quarlo_host/runtime/win32_windows.h"

namespace quarlo_host {
namespace {

bool high_surrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

void post_to_control(HWND dialog, UINT control_id, UINT message, WPARAM wparam, LPARAM lparam) {
  PostMessageW(GetDlgItem(dialog, control_id), message, wparam, lparam);
}

// Replaces the clipboard's content with text; false when the clipboard is busy.
bool set_clipboard_text(HWND owner, const std::wstring& text) {
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (block == nullptr) return false;
  std::memcpy(GlobalLock(block), text.c_str(), bytes);
  GlobalUnlock(block);
  if (!OpenClipboard(owner)) {
    GlobalFree(block);
    return false;
  }
  EmptyClipboard();
  const bool set = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
  if (!set) GlobalFree(block);
  CloseClipboard();
  return set;
}

}  // namespace

dialog_script& dialog_script::type(UINT control_id, std::wstring_view text, action after_each) {
  size_t i = 0;
  while (i < text.size()) {
    const size_t units = high_surrogate(text[i]) && i + 1 < text.size() ? 2 : 1;
    std::wstring character(text.substr(i, units));
    steps_.push_back({[control_id, character](HWND dialog) {
                        for (wchar_t unit : character)
                          post_to_control(dialog, control_id, WM_CHAR, unit, 1);
                      },
                      true});
    if (after_each) steps_.push_back({after_each, false});
    i += units;
  }
  return *this;
}

dialog_script& dialog_script::paste(UINT control_id, std::wstring_view text) {
  steps_.push_back({[lock = clipboard_, control_id, content = std::wstring(text)](HWND dialog) {
                      lock->take();
                      if (set_clipboard_text(dialog, content))
                        post_to_control(dialog, control_id, WM_PASTE, 0, 0);
                      else
                        PostMessageW(dialog, WM_NULL, 0, 0);
                    },
                    true});
  return *this;
}

dialog_script& dialog_script::key(UINT control_id, UINT virtual_key) {
  steps_.push_back({[control_id, virtual_key](HWND dialog) {
                      post_to_control(dialog, control_id, WM_KEYDOWN, virtual_key,
                                      key_lparam(virtual_key, false));
                      post_to_control(dialog, control_id, WM_KEYUP, virtual_key,
                                      key_lparam(virtual_key, true));
                    },
                    true});
  return *this;
}

dialog_script& dialog_script::click(UINT control_id) {
  steps_.push_back(
      {[control_id](HWND dialog) { post_to_control(dialog, control_id, BM_CLICK, 0, 0); }, true});
  return *this;
}

dialog_script& dialog_script::post(UINT message, WPARAM wparam, LPARAM lparam) {
  steps_.push_back(
      {[message, wparam, lparam](HWND dialog) { PostMessageW(dialog, message, wparam, lparam); },
       true});
  return *this;
}

dialog_script& dialog_script::inspect(action fn) {
  steps_.push_back({std::move(fn), false});
  return *this;
}

void dialog_script::clipboard_lock::take() {
  mutex_ = CreateMutexW(nullptr, FALSE, L"quarlo_host dialog_script clipboard");
  if (mutex_ != nullptr) WaitForSingleObject(mutex_, INFINITE);
}

void dialog_script::clipboard_lock::give_back() {
  if (mutex_ == nullptr) return;
  ReleaseMutex(mutex_);
  CloseHandle(mutex_);
  mutex_ = nullptr;
}

bool dialog_script::on_idle(HWND dialog) {
  // The paste before this turn has been handled: the clipboard is free again.
  clipboard_->give_back();
  while (next_ < steps_.size()) {
    const step current = steps_[next_++];
    current.run(dialog);
    if (current.posts) return true;
  }
  return false;
}

}  // namespace quarlo_host
