#include "lookup/lookup_dialog.h"

#include <cstdint>
#include <exception>
#include <utility>

#include "entry/module_globals.h"
#include "host/guid.h"
#include "host/shared_text.h"
#include "lookup/guid_detector.h"
#include "lookup/guid_parser.h"
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

// The exception that ended the running dialog, handed back once it has closed:
// no exception may unwind through the dialog manager's frames.
std::exception_ptr dialog_failure;

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

INT_PTR CALLBACK lookup_dialog_procedure(HWND window, UINT message, WPARAM wparam, LPARAM) {
  try {
    return handle_message(window, message, wparam);
  } catch (...) {
    if (!dialog_failure) dialog_failure = std::current_exception();
    EndDialog(window, IDC_CLOSE);
    return TRUE;
  }
}

}  // namespace

std::exception_ptr run_lookup_dialog(HINSTANCE module, HWND owner) {
  dialog_failure = nullptr;
  DialogBoxParamW(module, MAKEINTRESOURCEW(IDD_LOOKUP), owner, lookup_dialog_procedure, 0);
  return std::exchange(dialog_failure, nullptr);
}
