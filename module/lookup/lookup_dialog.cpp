#include "lookup/lookup_dialog.h"

#include <stdint.h>

#include "entry/module_globals.h"
#include "host/guid.h"
#include "host/shared_text.h"
#include "lookup/guid_detector.h"
#include "lookup/guid_parser.h"
#include "lookup/kept_exception.h"
#include "lookup/named_service.h"
#include "lookup/resource_ids.h"
#include "service/service_enumerator.h"
#include "service/service_ref.h"
#include "trel/alloc_fast_aggressive.h"
#include "trel/string8_t.h"
#include "trel/string_receiver.h"

namespace {

using dialog_string = trel::string8_t<trel::alloc_fast_aggressive>;

// EN_CHANGE in the high word, the Input control in the low word.
constexpr WPARAM input_changed = (static_cast<WPARAM>(EN_CHANGE) << 16) | IDC_INPUT;

// Shows the GUID-shaped run found in Input, or says there is none.
void detect(HWND window, dialog_string& input_text, dialog_string& guid_text, bool& found) {
  if (!uGetDlgItemText(window, IDC_INPUT, input_text)) return;
  found = guid_detector(input_text.current_text(), guid_text);
  uSetDlgItemTextEx(window, IDC_GUID, found ? guid_text.current_text() : "No GUID detected.",
                    trel::until_nul);
}

// Shows the name of the first named_service instance carrying the detected
// GUID, or empties Result when none does.
void update(HWND window, dialog_string& guid_text, bool found) {
  if (!found) return;
  GUID wanted = null_guid;
  guid_parser(guid_text.current_text(), wanted);
  service_enumerator services(*module_host, named_service::class_guid);
  service_ref instance;
  for (uint32_t index = 0;; ++index) {
    if (!services.next(instance, index)) {
      uSetDlgItemTextEx(window, IDC_RESULT, "", 0);
      return;
    }
    auto* named = static_cast<named_service*>(instance.get());
    if (guid_equal(named->service_guid(), wanted)) {
      uSetDlgItemTextEx(window, IDC_RESULT, named->service_name(), trel::until_nul);
      return;
    }
  }
}

INT_PTR handle_message(HWND window, UINT message, WPARAM wparam) {
  // Shared by every opening of the dialog, alive until the module unloads.
  static dialog_string input_text;
  static dialog_string guid_text;
  static bool found = false;

  if (message == WM_CLOSE) {
    EndDialog(window, IDC_CLOSE);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  switch (wparam) {
    case IDC_CLOSE:
      EndDialog(window, IDC_CLOSE);
      return TRUE;
    case IDC_UPDATE:
      update(window, guid_text, found);
      return TRUE;
    case input_changed:
      detect(window, input_text, guid_text, found);
      return TRUE;
    default:
      return FALSE;
  }
}

struct dialog_message {
  HWND window;
  UINT message;
  WPARAM wparam;
  INT_PTR result;
};

void handle_kept_message(void* context) {
  auto& m = *static_cast<dialog_message*>(context);
  m.result = handle_message(m.window, m.message, m.wparam);
}

// No exception may unwind through the dialog manager's frames: one that ends
// the work of a message is kept and ends the dialog, and run_lookup_dialog
// throws it once DialogBoxParamW has returned.
INT_PTR CALLBACK lookup_dialog_procedure(HWND window, UINT message, WPARAM wparam, LPARAM) {
  dialog_message m{window, message, wparam, FALSE};
  if (run_keeping_exception(handle_kept_message, &m)) return m.result;
  EndDialog(window, IDC_CLOSE);
  return TRUE;
}

}  // namespace

void run_lookup_dialog(HINSTANCE module, HWND owner) {
  DialogBoxParamW(module, MAKEINTRESOURCEW(IDD_LOOKUP), owner, lookup_dialog_procedure, 0);
  throw_kept_exception();
}
