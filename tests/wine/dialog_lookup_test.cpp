// The lookup dialog worked through the dialog manager: typed characters,
// pasted text, clicks, Enter, Escape and the close box.
#include <algorithm>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_session.h"
#include "quarlo_host/runtime/heap_watch.h"
#include "quarlo_host/runtime/utf.h"

using quarlo_host::control_text;
using quarlo_host::dialog_script;
using quarlo_host::lookup_close_id;
using quarlo_host::lookup_guid_id;
using quarlo_host::lookup_input_id;
using quarlo_host::lookup_result_id;
using quarlo_host::lookup_update_id;
using quarlo_host::to_wide;

namespace {

constexpr char no_guid[] = "No GUID detected.";

// {0123ABCD-0123-4567-89AB-CDEF01234567} and two neighbours.
constexpr GUID first_guid = {
    0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
constexpr GUID second_guid = {
    0x0123ABCD, 0x0123, 0x4567, {0x89, 0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45, 0x67}};
constexpr GUID third_guid = {
    0x0123ABCD, 0x0123, 0x4567, {0x89, 0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45, 0x68}};
constexpr char second_text[] = "0123abcd-0123-4567-89ab-cdef01234567";

struct LookupDialog : dialog_session {
  counted_service first{first_guid, "First Object"};
  counted_service second{second_guid, "Second Object"};
  counted_service third{third_guid, "Third Object"};
  // Accents, CJK and an emoji (a surrogate pair in the window system's UTF-16).
  counted_service named{second_guid, "Caf\xC3\xA9 \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80"};

  void register_three() { host.services = {&first, &second, &third}; }
};

TEST_F(LookupDialog, TypingRerunsDetectionOnEveryCharacter) {
  // The run is GUID-shaped from its fourth dash on (the last group may be
  // empty), grows with each digit and stays once the braces close it.
  const std::string text = std::string("g{") + second_text + "}h";
  const size_t run_start = 2;
  const size_t first_shaped = run_start + 24;  // through "89ab-"
  fields opened;
  std::vector<std::string> seen;
  dialog_script script;
  script.inspect(read_into(opened));
  script.type(lookup_input_id, to_wide(text),
              [&](HWND dialog) { seen.push_back(control_text(dialog, lookup_guid_id)); });
  script.key(lookup_input_id, VK_ESCAPE);
  open(script);

  EXPECT_EQ(opened.guid, "");
  ASSERT_EQ(seen.size(), text.size());
  for (size_t typed = 1; typed <= text.size(); ++typed) {
    SCOPED_TRACE(text.substr(0, typed));
    if (typed < first_shaped) {
      EXPECT_EQ(seen[typed - 1], no_guid);
    } else {
      const size_t run_end = std::min(typed, run_start + 36);
      EXPECT_EQ(seen[typed - 1], text.substr(run_start, run_end - run_start));
    }
  }
}

TEST_F(LookupDialog, PastedTextShowsTheRunWithoutBracesOrWords) {
  const std::string pasted = "see {0123ABCD-0123-4567-89AB-CDEF01234567} here";
  fields after;
  dialog_script script;
  script.paste(lookup_input_id, to_wide(pasted)).inspect(read_into(after));
  script.click(lookup_close_id);
  open(script);
  EXPECT_EQ(after.input, pasted);
  EXPECT_EQ(after.guid, "0123ABCD-0123-4567-89AB-CDEF01234567");
  EXPECT_EQ(after.result, "");
}

TEST_F(LookupDialog, UpdateStopsAtTheMatchingObject) {
  register_three();
  fields after;
  dialog_script script;
  script.type(lookup_input_id, to_wide(std::string("x ") + second_text + " y"));
  script.click(lookup_update_id).inspect(read_into(after)).click(lookup_close_id);
  open(script);

  EXPECT_EQ(after.result, "Second Object");
  EXPECT_EQ(host.find_class_calls, 1u);
  EXPECT_EQ(host.create_calls, 2u);
  for (const counted_service* s : {&first, &second}) {
    SCOPED_TRACE(s == &first ? "first" : "second");
    EXPECT_EQ(s->fetches, 1u);
    EXPECT_EQ(s->add_refs(), 1u);
    EXPECT_EQ(s->releases(), 1u);
  }
  EXPECT_EQ(third.fetches, 0u);
  EXPECT_EQ(third.add_refs() + third.releases(), 0u);
}

TEST_F(LookupDialog, UpdateWithoutAMatchEmptiesResult) {
  struct case_t {
    const char* name;
    bool with_objects;
  };
  for (const case_t& c : {case_t{"no object matches", true}, case_t{"no objects", false}}) {
    SCOPED_TRACE(c.name);
    counted_service one(first_guid, "First Object");
    counted_service other(third_guid, "Third Object");
    host.services.clear();
    if (c.with_objects) host.services = {&one, &other};
    host.create_calls = 0;
    fields before;
    fields after;
    dialog_script script;
    script.type(lookup_result_id, L"stale").type(lookup_input_id, to_wide(second_text));
    script.inspect(read_into(before)).key(lookup_input_id, VK_RETURN).inspect(read_into(after));
    script.click(lookup_close_id);
    open(script);

    EXPECT_EQ(before.result, "stale");
    EXPECT_EQ(after.result, "");
    EXPECT_EQ(host.create_calls, c.with_objects ? 3u : 1u);
    for (const counted_service* s : host.services) {
      EXPECT_EQ(s->fetches, 1u);
      EXPECT_EQ(s->releases(), 1u);
      EXPECT_EQ(s->references(), 0u);
    }
  }
  host.services.clear();
}

TEST_F(LookupDialog, UpdateAfterTheGuidWasDeletedKeepsResult) {
  register_three();
  fields found;
  fields after;
  dialog_script script;
  script.type(lookup_input_id, to_wide(second_text)).click(lookup_update_id);
  script.inspect(read_into(found));
  // Backspace back over the last group and its dash: no GUID-shaped run is left.
  for (int i = 0; i < 13; ++i) script.key(lookup_input_id, VK_BACK);
  script.click(lookup_update_id).inspect(read_into(after)).click(lookup_close_id);
  open(script);

  EXPECT_EQ(found.result, "Second Object");
  EXPECT_EQ(after.input, std::string(second_text).substr(0, 23));
  EXPECT_EQ(after.guid, no_guid);
  EXPECT_EQ(after.result, "Second Object");
  EXPECT_EQ(host.find_class_calls, 1u) << "the second Update looked something up";
  EXPECT_EQ(host.create_calls, 2u);
}

TEST_F(LookupDialog, EnterRunsUpdate) {
  register_three();
  fields after;
  dialog_script script;
  script.type(lookup_input_id, to_wide(second_text)).key(lookup_input_id, VK_RETURN);
  script.inspect(read_into(after)).click(lookup_close_id);
  open(script);
  EXPECT_EQ(after.result, "Second Object");
  EXPECT_EQ(dialog_results(), std::vector<INT_PTR>{2});
}

TEST_F(LookupDialog, EveryWayOutEndsTheDialogWithTwo) {
  struct way_out {
    const char* name;
    std::function<void(dialog_script&)> act;
  };
  const std::vector<way_out> ways = {
      {"Escape", [](dialog_script& s) { s.key(lookup_input_id, VK_ESCAPE); }},
      {"Close button", [](dialog_script& s) { s.click(lookup_close_id); }},
      {"close box", [](dialog_script& s) { s.post(WM_SYSCOMMAND, SC_CLOSE, 0); }},
      {"WM_CLOSE", [](dialog_script& s) { s.post(WM_CLOSE, 0, 0); }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    dialog_results().clear();
    counted_callback callback;
    HWND dialog = nullptr;
    dialog_script script;
    script.inspect([&](HWND d) { dialog = d; });
    way.act(script);
    open(script, &callback);

    EXPECT_EQ(dialog_results(), std::vector<INT_PTR>{2});
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindow(dialog)) << "the dialog window is still there";
    EXPECT_EQ(callback.add_refs(), 1u) << "our own assign";
    EXPECT_EQ(callback.releases(), 1u) << "run_command releases its argument once";
    EXPECT_EQ(callback.references(), 0u);
  }
}

TEST_F(LookupDialog, ReopeningStartsEmptyButKeepsTheDetection) {
  register_three();
  dialog_script typing;
  typing.type(lookup_input_id, to_wide(second_text)).click(lookup_close_id);
  open(typing);
  EXPECT_EQ(host.create_calls, 0u);

  fields reopened;
  fields after;
  dialog_script updating;
  updating.inspect(read_into(reopened)).click(lookup_update_id).inspect(read_into(after));
  updating.click(lookup_close_id);
  open(updating);
  EXPECT_EQ(reopened.input, "");
  EXPECT_EQ(reopened.guid, "");
  EXPECT_EQ(reopened.result, "");
  EXPECT_EQ(after.result, "Second Object");
  EXPECT_EQ(dialog_results(), (std::vector<INT_PTR>{2, 2}));
}

TEST_F(LookupDialog, NonAsciiNameAndInputShowAsTyped) {
  host.services = {&first, &named};
  const std::string input = std::string("na\xC3\xAFve \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\x89 ") +
                            second_text + " \xE2\x9C\x93";
  fields typed;
  fields pasted;
  dialog_script script;
  script.type(lookup_input_id, to_wide(input)).click(lookup_update_id).inspect(read_into(typed));
  script.click(lookup_close_id);
  open(script);
  EXPECT_EQ(typed.input, input);
  EXPECT_EQ(typed.guid, second_text);
  EXPECT_EQ(typed.result, named.service_name());

  dialog_script again;
  again.paste(lookup_input_id, to_wide(input)).inspect(read_into(pasted));
  again.click(lookup_close_id);
  open(again);
  EXPECT_EQ(pasted.input, input);
  EXPECT_EQ(pasted.guid, second_text);
}

TEST_F(LookupDialog, HeapFailureInDetectEndsTheDialogAndReachesTheHost) {
  counted_callback callback;
  HWND dialog = nullptr;
  dialog_script script;
  script.inspect([&](HWND d) {
    dialog = d;
    quarlo_host::heap_watch::reset();
    quarlo_host::heap_watch::fail_at(1);
  });
  script.type(lookup_input_id, L"x");
  service_ref argument;
  argument.assign(&callback);
  window->drive_dialogs(&script);
  EXPECT_THROW(lookup.group->run_command(lookup.index, std::move(argument)), std::bad_alloc);
  window->drive_dialogs(nullptr);

  EXPECT_EQ(quarlo_host::heap_watch::counts().failed, 1u);
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(window->abandoned_dialogs(), 0u);
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(dialog_results().size(), 1u);
  EXPECT_EQ(callback.releases(), 1u);
  EXPECT_EQ(callback.references(), 0u);

  // The failed read changed nothing: the dialog works as before.
  register_three();
  fields after;
  dialog_script retry;
  retry.type(lookup_input_id, to_wide(second_text)).click(lookup_update_id);
  retry.inspect(read_into(after)).click(lookup_close_id);
  open(retry);
  EXPECT_EQ(after.result, "Second Object");
}

TEST_F(LookupDialog, DialogLeftOpenByItsScriptIsEndedByTheHost) {
  HWND dialog = nullptr;
  dialog_script script;
  script.inspect([&](HWND d) { dialog = d; });
  window->drive_dialogs(&script);
  lookup.group->run_command(lookup.index, service_ref{});
  window->drive_dialogs(nullptr);
  EXPECT_EQ(window->abandoned_dialogs(), 1u);
  EXPECT_EQ(dialog_results(), std::vector<INT_PTR>{IDABORT});
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(IsWindow(dialog));
}

}  // namespace
