// The lookup dialog's procedure: which messages it handles and what it
// returns, a read of Input that fails, and failures inside its handlers, which
// end the dialog and reach the host once run_command has returned.
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_session.h"
#include "quarlo_host/runtime/heap_watch.h"
#include "quarlo_host/runtime/utf.h"

using namespace quarlo_host;

namespace {

constexpr GUID object_guid = {
    0x0123ABCD, 0x0123, 0x4567, {0x89, 0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45, 0x67}};
constexpr char object_text[] = "{0123ABCD-0123-4567-89AB-CDEF01234567}";
constexpr char object_run[] = "0123ABCD-0123-4567-89AB-CDEF01234567";

// While set, the module's reads of a control fail as an unreadable one does.
bool reads_fail = false;

BOOL __cdecl read_unless_failing(HWND dialog, UINT control_id, trel::string_base& out) {
  if (reads_fail) return FALSE;
  return shared_text_of(GetModuleHandleW(L"quarlo_shared.dll")).get_text(dialog, control_id, out);
}

INT_PTR call_procedure(HWND dialog, UINT message, WPARAM wparam) {
  const auto procedure = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(dialog, DWLP_DLGPROC));
  return procedure(dialog, message, wparam, 0);
}

struct DialogProcedure : dialog_session {
  counted_service object{object_guid, "The Object"};
  counted_service other{{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}}, "Other"};

  void SetUp() override {
    dialog_session::SetUp();
    host.services = {&object};
  }
};

TEST_F(DialogProcedure, HandlesExactlyItsMessagesAndReturnsWhetherItDid) {
  struct row {
    const char* name;
    UINT message;
    WPARAM wparam;
    INT_PTR returns;
  };
  // Input holds a detected GUID and the GUID field is then overwritten, so a
  // row that runs Detect shows, and so does a row that runs Update.
  const std::vector<row> rows = {
      {"WM_INITDIALOG", WM_INITDIALOG, 0, FALSE},
      {"a message of no interest", WM_USER + 7, 0, FALSE},
      {"Input's EN_UPDATE", WM_COMMAND, MAKEWPARAM(lookup_input_id, EN_UPDATE), FALSE},
      {"GUID's EN_CHANGE", WM_COMMAND, MAKEWPARAM(lookup_guid_id, EN_CHANGE), FALSE},
      {"Result's EN_CHANGE", WM_COMMAND, MAKEWPARAM(lookup_result_id, EN_CHANGE), FALSE},
      {"Close with code 1", WM_COMMAND, MAKEWPARAM(lookup_close_id, 1), FALSE},
      {"Update with code 1", WM_COMMAND, MAKEWPARAM(lookup_update_id, 1), FALSE},
      {"Input's EN_CHANGE", WM_COMMAND, MAKEWPARAM(lookup_input_id, EN_CHANGE), TRUE},
      {"Update", WM_COMMAND, lookup_update_id, TRUE},
  };
  std::vector<std::string> guid_field;
  std::vector<uint32_t> lookups;
  dialog_script script;
  script.paste(lookup_input_id, to_wide(object_text));
  script.inspect([&](HWND dialog) {
    SetDlgItemTextW(dialog, lookup_guid_id, L"marker");
    for (const row& r : rows) {
      SCOPED_TRACE(r.name);
      EXPECT_EQ(call_procedure(dialog, r.message, r.wparam), r.returns);
      EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog ended";
      guid_field.push_back(control_text(dialog, lookup_guid_id));
      lookups.push_back(host.create_calls);
    }
  });
  script.click(lookup_close_id);
  open(script);

  const size_t detect_row = rows.size() - 2;
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].name);
    EXPECT_EQ(guid_field[i], i < detect_row ? "marker" : object_run);
    EXPECT_EQ(lookups[i], i < detect_row + 1 ? 0u : 1u);
  }
  EXPECT_EQ(object.fetches, 1u);
}

TEST_F(DialogProcedure, CloseCommandAndWmCloseEndTheDialogWithTwo) {
  struct row {
    const char* name;
    UINT message;
    WPARAM wparam;
  };
  for (const row& r :
       {row{"WM_COMMAND 2", WM_COMMAND, lookup_close_id}, row{"WM_CLOSE", WM_CLOSE, 0}}) {
    SCOPED_TRACE(r.name);
    dialog_results().clear();
    INT_PTR returned = FALSE;
    dialog_script script;
    script.inspect([&](HWND dialog) { returned = call_procedure(dialog, r.message, r.wparam); });
    // A step that posts, so the host sees the script still at work.
    script.post(WM_NULL, 0, 0);
    open(script);
    EXPECT_EQ(returned, TRUE);
    EXPECT_EQ(dialog_results(), std::vector<INT_PTR>{2});
  }
}

TEST_F(DialogProcedure, FailedReadOfInputChangesNothing) {
  ASSERT_TRUE(patch_import(module->handle(), "quarlo_shared.dll", "uGetDlgItemText",
                           reinterpret_cast<void*>(&read_unless_failing)));
  fields detected;
  fields unread;
  fields after;
  dialog_script script;
  script.paste(lookup_input_id, to_wide(object_text)).inspect(read_into(detected));
  script.inspect([](HWND) { reads_fail = true; });
  script.type(lookup_input_id, L" x").inspect(read_into(unread));
  script.inspect([](HWND) { reads_fail = false; });
  script.click(lookup_update_id).inspect(read_into(after)).click(lookup_close_id);
  open(script);
  reads_fail = false;

  EXPECT_EQ(detected.guid, object_run);
  EXPECT_EQ(unread.input, std::string(object_text) + " x");
  EXPECT_EQ(unread.guid, object_run) << "the GUID field changed";
  EXPECT_EQ(after.result, "The Object") << "the detection was lost";
}

TEST_F(DialogProcedure, StateKeepsItsTextsUntilTheModuleUnloads) {
  dialog_script script;
  script.paste(lookup_input_id, to_wide(object_text)).click(lookup_close_id);
  open(script);
  // The input text and the GUID text, one block each, outlive the dialog.
  EXPECT_EQ(heap_watch::live_blocks(), blocks_at_start + 2);
  unload();
  load();
  EXPECT_EQ(heap_watch::live_blocks(), blocks_at_start);
}

TEST_F(DialogProcedure, HeapFailureAtEachCallOfDetectReachesTheHost) {
  // How many fallible heap calls the first Detect of a GUID makes.
  uint32_t calls = 0;
  dialog_script measuring;
  measuring.inspect([](HWND) { quarlo_host::heap_watch::reset(); });
  measuring.paste(lookup_input_id, to_wide(object_text));
  measuring.inspect([&](HWND) { calls = quarlo_host::heap_watch::counts().fallible; });
  measuring.click(lookup_close_id);
  open(measuring);
  ASSERT_GE(calls, 2u) << "both strings allocate";

  for (uint32_t k = 1; k <= calls; ++k) {
    SCOPED_TRACE(k);
    unload();
    load();
    dialog_results().clear();
    counted_callback callback;
    service_ref argument;
    argument.assign(&callback);
    dialog_script failing;
    failing.inspect([k](HWND) {
      quarlo_host::heap_watch::reset();
      quarlo_host::heap_watch::fail_at(k);
    });
    failing.paste(lookup_input_id, to_wide(object_text));
    window->drive_dialogs(&failing);
    EXPECT_THROW(lookup.group->run_command(lookup.index, std::move(argument)), std::bad_alloc);
    window->drive_dialogs(nullptr);
    EXPECT_EQ(quarlo_host::heap_watch::counts().failed, 1u);
    EXPECT_TRUE(failing.finished());
    EXPECT_EQ(dialog_results(), std::vector<INT_PTR>{2});
    EXPECT_EQ(callback.releases(), 1u);
    EXPECT_EQ(callback.references(), 0u);

    // The failed Detect left no detection behind: Update does nothing.
    fields after;
    dialog_script updating;
    updating.click(lookup_update_id).inspect(read_into(after)).click(lookup_close_id);
    open(updating);
    EXPECT_EQ(host.find_class_calls, 0u);
    EXPECT_EQ(after.result, "");
  }
}

TEST_F(DialogProcedure, HostFailureInUpdateReachesTheHostWithEveryReferenceBack) {
  host.services = {&other, &object};
  host.throw_at_index = 1;
  counted_callback callback;
  service_ref argument;
  argument.assign(&callback);
  dialog_script script;
  script.paste(lookup_input_id, to_wide(object_text)).click(lookup_update_id);
  window->drive_dialogs(&script);
  std::string caught;
  try {
    lookup.group->run_command(lookup.index, std::move(argument));
  } catch (const std::runtime_error& e) {
    caught = e.what();
  }
  EXPECT_EQ(caught, "host create failed") << "the host's own exception, message and all";
  window->drive_dialogs(nullptr);
  host.throw_at_index.reset();

  EXPECT_TRUE(script.finished());
  EXPECT_EQ(dialog_results(), std::vector<INT_PTR>{2});
  EXPECT_EQ(other.fetches, 1u);
  EXPECT_EQ(other.releases(), 1u);
  EXPECT_EQ(other.references(), 0u) << "the instance fetched before the failure is held";
  EXPECT_EQ(object.fetches, 0u);
  EXPECT_EQ(callback.releases(), 1u);
  EXPECT_EQ(callback.references(), 0u);
}

}  // namespace
