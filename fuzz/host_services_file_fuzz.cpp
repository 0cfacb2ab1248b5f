// Parses any bytes as a services file. A failure names a line with a message,
// and that line is the first bad one: the lines before it parse, the lines up
// to it fail the same way. A success gives one entry per line that is neither
// blank nor a comment; every name is non-empty, well-formed UTF-8 and has no
// blank at either end, no GUID repeats, and the entries written out as a file
// (with LF or CRLF line ends) parse back to themselves. valid_utf8 itself is
// compared with a plain table of the well-formed byte sequences.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "quarlo_host/core/guid_text.h"
#include "quarlo_host/core/services_file.h"
#include "quarlo_host/core/valid_utf8.h"

using quarlo_host::parse_services;
using quarlo_host::service_entry;
using quarlo_host::services_file_error;

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "services file fuzz: %s\n", what);
  std::abort();
}

void check(bool ok, const char* what) {
  if (!ok) fail(what);
}

// The well-formed UTF-8 byte sequences: a lead byte range, the range of the
// second byte, and the length; later bytes are always 80..BF.
struct utf8_form {
  uint8_t lead_low, lead_high, second_low, second_high;
  size_t length;
};
constexpr utf8_form utf8_forms[] = {
    {0x00, 0x7F, 0x00, 0x00, 1}, {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3},
    {0xE1, 0xEC, 0x80, 0xBF, 3}, {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3},
    {0xF0, 0xF0, 0x90, 0xBF, 4}, {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
};

bool reference_utf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto lead = static_cast<uint8_t>(s[i]);
    const utf8_form* form = nullptr;
    for (const utf8_form& f : utf8_forms) {
      if (lead >= f.lead_low && lead <= f.lead_high) form = &f;
    }
    if (form == nullptr || s.size() - i < form->length) return false;
    for (size_t k = 1; k < form->length; ++k) {
      const auto b = static_cast<uint8_t>(s[i + k]);
      const uint8_t low = k == 1 ? form->second_low : 0x80;
      const uint8_t high = k == 1 ? form->second_high : 0xBF;
      if (b < low || b > high) return false;
    }
    i += form->length;
  }
  return true;
}

// The file's lines as the parser numbers them: split at LF, no line after a
// final LF.
std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return lines;
}

// A line that gives no entry: blank, or '#' as its first non-blank character.
bool skipped(std::string_view line, bool first) {
  if (first && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
  const size_t end = line.find_last_not_of(" \t\r");
  if (end == std::string_view::npos) return true;
  const size_t start = line.find_first_not_of(" \t");
  return line[start] == '#';
}

// The text up to the end of line n (1-based), its LF included.
std::string_view first_lines(std::string_view text, uint32_t n) {
  size_t end = 0;
  for (uint32_t i = 0; i < n; ++i) end = text.find('\n', end) + 1;
  return text.substr(0, end);
}

bool same_entries(const std::vector<service_entry>& a, const std::vector<service_entry>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::memcmp(&a[i].guid, &b[i].guid, sizeof(GUID)) != 0 || a[i].name != b[i].name) {
      return false;
    }
  }
  return true;
}

void check_failure(std::string_view text, const services_file_error& error,
                   const std::vector<std::string_view>& lines) {
  check(error.line >= 1 && error.line <= lines.size(), "error line outside the file");
  check(!error.message.empty(), "error without a message");
  std::vector<service_entry> entries;
  services_file_error again;
  check(parse_services(first_lines(text, error.line - 1), entries, again),
        "the lines before the error line do not parse");
  const bool last = error.line == lines.size();
  const std::string_view through = last ? text : first_lines(text, error.line);
  check(!parse_services(through, entries, again), "the lines up to the error line parse");
  check(again.line == error.line && again.message == error.message,
        "the lines up to the error line fail otherwise");
}

void check_success(const std::vector<service_entry>& entries,
                   const std::vector<std::string_view>& lines) {
  size_t expected = 0;
  for (size_t i = 0; i < lines.size(); ++i) expected += skipped(lines[i], i == 0) ? 0 : 1;
  check(entries.size() == expected, "not one entry per line that is not blank or a comment");
  std::set<std::string> guids;
  std::string lf, crlf;
  for (const service_entry& e : entries) {
    check(!e.name.empty(), "an empty name");
    check(reference_utf8(e.name), "a name that is not UTF-8");
    check(e.name.find('\n') == std::string::npos, "a name with a line feed");
    check(e.name.find('\0') == std::string::npos, "a name with a NUL");
    check(std::string_view(" \t").find(e.name.front()) == std::string_view::npos,
          "a name that starts with a blank");
    check(std::string_view(" \t\r").find(e.name.back()) == std::string_view::npos,
          "a name that ends with a blank");
    check(guids.insert(std::string(reinterpret_cast<const char*>(&e.guid), sizeof(GUID))).second,
          "a GUID given twice");
    const std::string line = quarlo_host::format_guid(e.guid) + " " + e.name;
    lf += line + "\n";
    crlf += line + "\r\n";
  }
  for (const std::string* text : {&lf, &crlf}) {
    std::vector<service_entry> again;
    services_file_error error;
    check(parse_services(*text, again, error), "the entries written out do not parse");
    check(same_entries(again, entries), "the entries written out parse to others");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  check(quarlo_host::valid_utf8(text) == reference_utf8(text), "valid_utf8 differs from the table");

  const service_entry sentinel{{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}}, "untouched"};
  std::vector<service_entry> entries = {sentinel};
  services_file_error error;
  const std::vector<std::string_view> lines = lines_of(text);
  if (parse_services(text, entries, error)) {
    check_success(entries, lines);
  } else {
    check(same_entries(entries, {sentinel}), "a failed parse changed the entries");
    check_failure(text, error, lines);
  }
  return 0;
}
