#include "lookup/guid_parser.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include <gtest/gtest.h>

#include "host/guid.h"

namespace {

// Byte ranges of the fields in the order the parser writes them.
struct field_range {
  size_t begin, end;
};
constexpr field_range fields[] = {{0, 4}, {4, 6}, {6, 8}, {8, 10}, {10, 16}};

struct parser_case {
  const char* text;
  size_t fields_written;  // a prefix of fields
  GUID expected;          // its written fields; the rest is not looked at
};

constexpr GUID canonical = {
    0x0123ABCD, 0x4567, 0x89EF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

// Parses into records pre-filled with two different patterns: the written fields
// must hold the expected values and every other byte its pattern.
void expect_parse(const char* text, size_t fields_written, const GUID& expected) {
  for (const uint8_t pattern : {0x00, 0xA5}) {
    SCOPED_TRACE(testing::Message() << "pattern " << int(pattern));
    GUID out;
    std::memset(&out, pattern, sizeof out);
    GUID want;
    std::memset(&want, pattern, sizeof want);
    for (size_t f = 0; f < fields_written; ++f) {
      std::memcpy(reinterpret_cast<uint8_t*>(&want) + fields[f].begin,
                  reinterpret_cast<const uint8_t*>(&expected) + fields[f].begin,
                  fields[f].end - fields[f].begin);
    }
    guid_parser(text, out);
    EXPECT_TRUE(guid_equal(out, want));
    EXPECT_EQ(out.Data1, want.Data1);
    EXPECT_EQ(out.Data2, want.Data2);
    EXPECT_EQ(out.Data3, want.Data3);
  }
}

TEST(guid_parser, ReadsTheUsualTextForms) {
  const parser_case cases[] = {
      {"0123ABCD-4567-89EF-0123-456789ABCDEF", 5, canonical},
      {"0123abcd-4567-89ef-0123-456789abcdef", 5, canonical},
      {"{0123ABCD-4567-89EF-0123-456789ABCDEF}", 5, canonical},
      {"0123ABCD456789EF0123456789ABCDEF", 5, canonical},
      {"{0123ABCD456789EF0123456789ABCDEF}", 5, canonical},
      {"0123ABCD---4567-89EF--0123-456789ABCDEF", 5, canonical},
      {"0123ABCD-4567-89EF-0123-456789ABCDEF-and more", 5, canonical},
      {"0123ABCD-4567-89EF-0123-456789ABCDEF}0000", 5, canonical},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    expect_parse(c.text, c.fields_written, c.expected);
  }
}

TEST(guid_parser, FillsOnlyTheGroupsThatFit) {
  const parser_case cases[] = {
      {"", 0, {}},
      {"ghij", 0, {}},
      {"{", 0, {}},
      {"{}", 0, {}},
      {"a----", 0, {}},
      {"0123456", 0, {}},
      {"0123}4567-89ab-cdef-0123-456789abcdef", 0, {}},
      {"01234567", 1, {0x01234567, 0, 0, {}}},
      {"{01234567}", 1, {0x01234567, 0, 0, {}}},
      {"{01234567}89ab-cdef", 1, {0x01234567, 0, 0, {}}},
      {"01234567-89a", 1, {0x01234567, 0, 0, {}}},
      {"01234567-89ab", 2, {0x01234567, 0x89AB, 0, {}}},
      {"01234567-89ab}cdef", 2, {0x01234567, 0x89AB, 0, {}}},
      {"01234567-89ab-cdef", 3, {0x01234567, 0x89AB, 0xCDEF, {}}},
      {"01234567-89ab-cdef-0123", 4, {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23}}},
      {"01234567-89ab-cdef-0123-456789abcde", 4, {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23}}},
      {"{0123ABCD-4567-89EF-0123-456789ABCDE}", 4, canonical},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    expect_parse(c.text, c.fields_written, c.expected);
  }
}

TEST(guid_parser, DecodesNonHexCharactersAsZero) {
  const parser_case cases[] = {
      {"0123zz89-", 1, {0x01230089, 0, 0, {}}},
      {"1-2-3-4-5", 1, {0x10203040, 0, 0, {}}},
      {"gggggggg-GGGG-xxxx-....-\xB1\xC1\xE1.........", 5, {}},
      // Dashes are skipped only between groups; inside one they decode as 0.
      {"01234567-8-9a-bcde-f-0123456789ab", 4, {0x01234567, 0x809A, 0xBCDE, {0xF0, 0x01}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    expect_parse(c.text, c.fields_written, c.expected);
  }
}

TEST(guid_parser, NullTextLeavesTheRecord) {
  GUID out = canonical;
  guid_parser(nullptr, out);
  EXPECT_TRUE(guid_equal(out, canonical));
}

}  // namespace
