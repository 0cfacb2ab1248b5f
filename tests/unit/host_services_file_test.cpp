// Parsing the services file: entries in order, errors with their line numbers.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quarlo_host/core/guid_text.h"
#include "quarlo_host/core/services_file.h"

using quarlo_host::format_guid;
using quarlo_host::parse_services;
using quarlo_host::service_entry;
using quarlo_host::services_file_error;

namespace {
constexpr char guid_a[] = "{6513270E-269E-4D37-B2A7-4DE452E6B438}";
constexpr char guid_b[] = "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}";
}  // namespace

TEST(ServicesFile, ReadsEntriesCommentsAndBlankLines) {
  const std::string text = std::string("\xEF\xBB\xBF# services\n\n   \n") + guid_a +
                           " Playback Engine\r\n  # indented comment\n" + guid_b +
                           " C# tools  \t\n" +
                           "{6513270e-269e-4d37-b2a7-4de452e6b439} "
                           "\xE6\xAD\x8C\xE8\xA9\x9E \xF0\x9F\x8E\xA7";
  std::vector<service_entry> entries;
  services_file_error error;
  ASSERT_TRUE(parse_services(text, entries, error)) << error.line << ": " << error.message;
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(format_guid(entries[0].guid), guid_a);
  EXPECT_EQ(entries[0].name, "Playback Engine");
  EXPECT_EQ(entries[1].name, "C# tools");
  EXPECT_EQ(format_guid(entries[2].guid), "{6513270E-269E-4D37-B2A7-4DE452E6B439}");
  EXPECT_EQ(entries[2].name, "\xE6\xAD\x8C\xE8\xA9\x9E \xF0\x9F\x8E\xA7");
}

TEST(ServicesFile, EmptyTextHasNoEntries) {
  std::vector<service_entry> entries = {{quarlo::null_guid, "old"}};
  services_file_error error;
  EXPECT_TRUE(parse_services("", entries, error));
  EXPECT_TRUE(entries.empty());
}

TEST(ServicesFile, MalformedLineIsReportedAndNothingLoaded) {
  struct row {
    std::string bad_line;
    const char* message_part;
  };
  const std::string a = guid_a;
  const std::vector<row> rows = {
      {"Playback Engine", "braced GUID"},
      {a.substr(1, 36) + " no braces", "braced GUID"},
      {"{6513270E-269E-4D37-B2A7-4DE452E6B43G} bad digit", "braced GUID"},
      {"{6513270E-269E-4D37-B2A74DE452E6B4388} no dash", "braced GUID"},
      {a, "missing name"},
      {a + "   ", "missing name"},
      {a + "\tTabbed", "one blank"},
      {a + "Glued", "one blank"},
      {a + "  Two blanks", "exactly one blank"},
      {a + " bad \xC3\x28 utf-8", "UTF-8"},
      {a + " overlong \xC0\xAF", "UTF-8"},
      {a + " surrogate \xED\xA0\x80", "UTF-8"},
      {a + std::string(" nul\0inside", 11), "NUL"},
      {std::string(guid_b) + " again", "already given on line 2"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.bad_line);
    const std::string text =
        "# first\n" + std::string(guid_b) + " fine\n\n" + r.bad_line + "\n" + guid_a + "x\n";
    std::vector<service_entry> entries = {{quarlo::null_guid, "untouched"}};
    services_file_error error;
    EXPECT_FALSE(parse_services(text, entries, error));
    EXPECT_EQ(error.line, 4u);
    EXPECT_NE(error.message.find(r.message_part), std::string::npos) << error.message;
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "untouched");
  }
}
