// A user at a modal dialog, scripted. Every step acts through the dialog's
// message queue (posted characters, keys, clicks), so the dialog manager and the
// controls handle them as typed ones; the next step waits until the modal loop
// has handled all of it, which its owner learns from WM_ENTERIDLE.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "quarlo/win32.h"

namespace quarlo_host {

class dialog_script final {
 public:
  using action = std::function<void(HWND dialog)>;

  // Types text into a control, one character per turn; a surrogate pair travels
  // together. after_each, when given, runs once each character has been handled.
  dialog_script& type(UINT control_id, std::wstring_view text, action after_each = nullptr);
  // Puts text on the clipboard and pastes it into a control. The clipboard is
  // the whole desktop's: from putting the text there until the paste has been
  // handled, a named mutex keeps out every other process's script.
  dialog_script& paste(UINT control_id, std::wstring_view text);
  // Presses and releases a key in a control.
  dialog_script& key(UINT control_id, UINT virtual_key);
  // Clicks a button.
  dialog_script& click(UINT control_id);
  // Posts a message to the dialog window itself (WM_CLOSE, WM_SYSCOMMAND, ...).
  dialog_script& post(UINT message, WPARAM wparam, LPARAM lparam);
  // Runs fn on the dialog as it stands, posting nothing.
  dialog_script& inspect(action fn);

  // Runs the next steps on the waiting dialog up to the first one that posted
  // input. False once every step has run.
  bool on_idle(HWND dialog);
  bool finished() const { return next_ == steps_.size(); }

 private:
  struct step {
    action run;
    bool posts;
  };

  // The clipboard's named mutex, held while a paste is on its way.
  class clipboard_lock final {
   public:
    clipboard_lock() = default;
    clipboard_lock(const clipboard_lock&) = delete;
    clipboard_lock& operator=(const clipboard_lock&) = delete;
    ~clipboard_lock() { give_back(); }
    void take();
    void give_back();

   private:
    HANDLE mutex_ = nullptr;
  };

  std::vector<step> steps_;
  size_t next_ = 0;
  // Shared with the paste steps, which may outlive a moved script.
  std::shared_ptr<clipboard_lock> clipboard_ = std::make_shared<clipboard_lock>();
};

}  // namespace quarlo_host
