// GUID text as the host writes and reads it.
#include <string>

#include <gtest/gtest.h>

#include "quarlo_host/core/guid_text.h"

using quarlo_host::format_guid;
using quarlo_host::parse_guid;

TEST(GuidText, FormatsFieldsInTheirWindowsOrder) {
  const GUID g = {0x00112233, 0x4455, 0x6677, {0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}};
  EXPECT_EQ(format_guid(g), "{00112233-4455-6677-8899-AABBCCDDEEFF}");
  EXPECT_EQ(format_guid(quarlo::null_guid), "{00000000-0000-0000-0000-000000000000}");
}

TEST(GuidText, ParsesEitherCaseAndRoundTrips) {
  GUID g{};
  ASSERT_TRUE(parse_guid("{f8be5604-165f-4BB9-b6a9-15E55E0E0D3A}", g));
  EXPECT_EQ(g.Data1, 0xF8BE5604u);
  EXPECT_EQ(g.Data2, 0x165Fu);
  EXPECT_EQ(g.Data3, 0x4BB9u);
  EXPECT_EQ(g.Data4[0], 0xB6);
  EXPECT_EQ(g.Data4[7], 0x3A);
  EXPECT_EQ(format_guid(g), "{F8BE5604-165F-4BB9-B6A9-15E55E0E0D3A}");
}

TEST(GuidText, RejectsAnythingButTheBracedForm) {
  const char* const bad[] = {
      "",
      "F8BE5604-165F-4BB9-B6A9-15E55E0E0D3A",
      "{F8BE5604-165F-4BB9-B6A9-15E55E0E0D3A",
      "{F8BE5604-165F-4BB9-B6A9-15E55E0E0D3A}x",
      "{F8BE5604-165F-4BB9-B6A915E55E0E0D3A-}",
      "{F8BE5604_165F-4BB9-B6A9-15E55E0E0D3A}",
      "{F8BE5604-165F-4BB9-B6A9-15E55E0E0D3Z}",
      "{ 8BE5604-165F-4BB9-B6A9-15E55E0E0D3A}",
  };
  for (const char* text : bad) {
    GUID g = {0xAAAAAAAA, 0, 0, {0}};
    EXPECT_FALSE(parse_guid(text, g)) << text;
    EXPECT_EQ(g.Data1, 0xAAAAAAAAu) << "a failed parse leaves the GUID alone";
  }
}
