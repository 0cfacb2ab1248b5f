#include "quarlo_host/core/services_file.h"

#include <cstring>
#include <map>

#include "quarlo_host/core/guid_text.h"
#include "quarlo_host/core/valid_utf8.h"

namespace quarlo_host {

namespace {

constexpr std::string_view blanks = " \t";
constexpr size_t guid_chars = 38;

bool fail(services_file_error& error, uint32_t line, std::string message) {
  error = {line, std::move(message)};
  return false;
}

std::string_view trim_right(std::string_view s) {
  const size_t end = s.find_last_not_of(" \t\r");
  return end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
}

// Ordering of GUIDs by their bytes, to find repeats.
struct guid_less {
  bool operator()(const GUID& a, const GUID& b) const {
    return std::memcmp(&a, &b, sizeof(GUID)) < 0;
  }
};

}  // namespace

bool parse_services(std::string_view text, std::vector<service_entry>& out,
                    services_file_error& error) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<service_entry> entries;
  std::map<GUID, uint32_t, guid_less> first_line;
  uint32_t number = 0;
  while (!text.empty()) {
    ++number;
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    line = trim_right(line);
    const size_t first = line.find_first_not_of(blanks);
    if (first == std::string_view::npos || line[first] == '#') continue;
    if (line.find('\0') != std::string_view::npos) return fail(error, number, "NUL byte in line");
    GUID guid{};
    if (line.size() < guid_chars || !parse_guid(line.substr(0, guid_chars), guid)) {
      return fail(error, number, "expected a braced GUID at the start of the line");
    }
    if (line.size() == guid_chars) return fail(error, number, "missing name after the GUID");
    if (line[guid_chars] != ' ') return fail(error, number, "expected one blank after the GUID");
    const std::string_view name = line.substr(guid_chars + 1);
    if (name.find_first_not_of(blanks) != 0) {
      return fail(error, number, "the name must follow the GUID after exactly one blank");
    }
    if (!valid_utf8(name)) return fail(error, number, "name is not valid UTF-8");
    const auto seen = first_line.emplace(guid, number);
    if (!seen.second) {
      return fail(error, number,
                  "GUID already given on line " + std::to_string(seen.first->second));
    }
    entries.push_back({guid, std::string(name)});
  }
  out = std::move(entries);
  return true;
}

}  // namespace quarlo_host
