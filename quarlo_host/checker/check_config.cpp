#include "quarlo_host/checker/check_config.h"

#include <charconv>
#include <limits>
#include <map>
#include <utility>

#include "quarlo_host/checker/case_selection.h"
#include "quarlo_host/core/valid_utf8.h"

namespace quarlo_host {

namespace {

// What stands right of an '='.
struct value {
  enum class kind { string, integer, decimal, boolean } type = kind::string;
  // A string's characters, escapes decoded.
  std::string text;
  // An integer, held at the int64_t limits when past them.
  int64_t integer = 0;
  // An integer or a decimal; 0, which no option takes, for a decimal past
  // double's range (from_chars leaves it as it was).
  double number = 0;
  bool boolean = false;
};

// The file so far: what it gave and where, to name the first line of a repeat.
struct reading {
  const std::vector<check_case>& catalogue;
  uint32_t line = 0;
  // 0 before [skip]; keys after it are skip patterns.
  uint32_t skip_table_line = 0;
  std::map<std::string, uint32_t> option_lines;
  std::map<std::string, uint32_t> pattern_lines;
  check_config config;
};

bool fault(std::string& error, std::string what) {
  error = std::move(what);
  return false;
}

std::string quoted(const std::string& s) { return '"' + s + '"'; }

std::string twice(const std::string& what, uint32_t first_line) {
  return what + " given twice (first on line " + std::to_string(first_line) + ")";
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_bare_key_char(char c) {
  return is_digit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '-';
}

// As in TOML, a string holds no control character but the tab.
bool is_control(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u < 0x20 && c != '\t') || u == 0x7F;
}

void skip_blanks(std::string_view& rest) {
  while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
}

// Only blanks and a comment may follow what was read last.
bool at_line_end(std::string_view rest, const char* after, std::string& error) {
  skip_blanks(rest);
  if (rest.empty() || rest.front() == '#') return true;
  return fault(error, "unexpected text after " + std::string(after) + ": " + std::string(rest));
}

// A code point of the Basic Multilingual Plane, as UTF-8.
void append_utf8(uint32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Decodes the escape after a backslash.
bool read_escape(std::string_view& rest, std::string& out, std::string& error) {
  if (rest.empty()) return fault(error, "a string is not closed on its line");
  const char c = rest.front();
  rest.remove_prefix(1);
  // The characters that may follow a backslash, and what each stands for.
  const std::string_view from = R"("\ntr)";
  const std::string_view to = "\"\\\n\t\r";
  const size_t simple = from.find(c);
  if (simple != std::string_view::npos) {
    out += to[simple];
    return true;
  }
  if (c != 'u') {
    return fault(error, R"(unsupported escape: the escapes are \" \\ \n \t \r and \uXXXX)");
  }
  const std::string_view hex = rest.substr(0, 4);
  uint32_t code = 0;
  const auto end = std::from_chars(hex.data(), hex.data() + hex.size(), code, 16).ptr;
  if (end != hex.data() + 4) return fault(error, R"(\u needs four hex digits)");
  if (code >= 0xD800 && code <= 0xDFFF) {
    return fault(error, "\\u" + std::string(hex) + " is a surrogate, not a character");
  }
  rest.remove_prefix(4);
  append_utf8(code, out);
  return true;
}

// A basic string "..." or a literal string '...', whichever rest starts with.
bool read_string(std::string_view& rest, std::string& out, std::string& error) {
  const char quote = rest.front();
  rest.remove_prefix(1);
  out.clear();
  for (;;) {
    if (rest.empty()) return fault(error, "a string is not closed on its line");
    const char c = rest.front();
    rest.remove_prefix(1);
    if (c == quote) return true;
    if (is_control(c)) return fault(error, "a control character in a string");
    if (c == '\\' && quote == '"') {
      if (!read_escape(rest, out, error)) return false;
    } else {
      out += c;
    }
  }
}

// A bare or quoted key, and the blanks after it.
bool read_key(std::string_view& rest, std::string& key, std::string& error) {
  if (!rest.empty() && (rest.front() == '"' || rest.front() == '\'')) {
    if (!read_string(rest, key, error)) return false;
  } else {
    size_t n = 0;
    while (n < rest.size() && is_bare_key_char(rest[n])) ++n;
    if (n == 0) return fault(error, "expected a key");
    key = rest.substr(0, n);
    rest.remove_prefix(n);
  }
  skip_blanks(rest);
  if (!rest.empty() && rest.front() == '.') {
    return fault(error, "dotted keys are not supported: quote a key that has dots");
  }
  return true;
}

// A decimal integer, or a decimal with digits on both sides of the point.
bool read_number(std::string_view token, value& v, std::string& error) {
  // from_chars takes a '-' but no '+'.
  const std::string_view sign_free = token.substr(token.front() == '+' ? 1 : 0);
  const std::string_view digits =
      token.substr(token.front() == '+' || token.front() == '-' ? 1 : 0);
  size_t whole = 0;
  while (whole < digits.size() && is_digit(digits[whole])) ++whole;
  const std::string_view after = digits.substr(whole);
  const bool fraction = after.size() > 1 && after.front() == '.' &&
                        after.find_first_not_of("0123456789", 1) == std::string_view::npos;
  if (token.find('_') != std::string_view::npos) {
    return fault(error, "underscores in numbers are not supported");
  }
  if (whole == 0 || (!after.empty() && !fraction)) {
    return fault(error, "expected a string, a number, true or false, not " + std::string(token));
  }
  if (whole > 1 && digits.front() == '0') return fault(error, "leading zeros are not allowed");
  const char* const first = sign_free.data();
  const char* const last = first + sign_free.size();
  if (fraction) {
    v.type = value::kind::decimal;
    std::from_chars(first, last, v.number, std::chars_format::fixed);
    return true;
  }
  v.type = value::kind::integer;
  if (std::from_chars(first, last, v.integer).ec != std::errc()) {
    v.integer = sign_free.front() == '-' ? std::numeric_limits<int64_t>::min()
                                         : std::numeric_limits<int64_t>::max();
  }
  v.number = static_cast<double>(v.integer);
  return true;
}

bool read_value(std::string_view& rest, value& v, std::string& error) {
  if (rest.empty() || rest.front() == '#') return fault(error, "expected a value after =");
  const char c = rest.front();
  if (c == '"' || c == '\'') {
    if (rest.substr(0, 3) == std::string(3, c)) {
      return fault(error, "multi-line strings are not supported");
    }
    v.type = value::kind::string;
    return read_string(rest, v.text, error);
  }
  if (c == '[') return fault(error, "arrays are not supported");
  if (c == '{') return fault(error, "inline tables are not supported");
  const std::string_view token = rest.substr(0, rest.find_first_of(" \t#"));
  rest.remove_prefix(token.size());
  if (token == "true" || token == "false") {
    v.type = value::kind::boolean;
    v.boolean = token == "true";
    return true;
  }
  return read_number(token, v, error);
}

template <typename T>
bool set_integer(const value& v, const char* name, int64_t low, int64_t high, std::optional<T>& out,
                 std::string& error) {
  if (v.type != value::kind::integer || v.integer < low || v.integer > high) {
    return fault(error, std::string(name) + " must be an integer from " + std::to_string(low) +
                            " to " + std::to_string(high));
  }
  out = static_cast<T>(v.integer);
  return true;
}

bool set_option(const std::string& key, const value& v, check_config& config, std::string& error) {
  constexpr int64_t uint32_limit = std::numeric_limits<uint32_t>::max();
  if (key == "seed") return set_integer(v, "seed", 0, uint32_limit, config.seed, error);
  if (key == "jobs") {
    return set_integer(v, "jobs", 1, std::numeric_limits<unsigned>::max(), config.jobs, error);
  }
  if (key == "steps") return set_integer(v, "steps", 1, uint32_limit, config.steps, error);
  if (key == "timeout") {
    const bool number = v.type == value::kind::integer || v.type == value::kind::decimal;
    if (!number || !(v.number > 0)) return fault(error, "timeout must be seconds above 0");
    config.timeout_seconds = v.number;
    return true;
  }
  if (key == "strict") {
    if (v.type != value::kind::boolean) return fault(error, "strict must be true or false");
    config.strict = v.boolean;
    return true;
  }
  return fault(error,
               "unknown option " + key + ": the options are seed, jobs, timeout, steps and strict");
}

bool add_option(const std::string& key, const value& v, reading& r, std::string& error) {
  const auto seen = r.option_lines.emplace(key, r.line);
  if (!seen.second) return fault(error, twice("option " + key, seen.first->second));
  return set_option(key, v, r.config, error);
}

bool add_skip(const std::string& pattern, const value& v, reading& r, std::string& error) {
  const auto seen = r.pattern_lines.emplace(pattern, r.line);
  if (!seen.second) {
    return fault(error, twice("skip pattern " + quoted(pattern), seen.first->second));
  }
  if (v.type != value::kind::string) {
    return fault(error, "a skip's value is its reason, a string (options go before [skip])");
  }
  if (v.text.find_first_not_of(" \t") == std::string::npos) {
    return fault(error, "the skip of " + quoted(pattern) + " needs a reason");
  }
  bool used = false;
  for (const auto& c : r.catalogue) used = used || glob_match(pattern, c.id);
  if (!used) {
    return fault(error,
                 quoted(pattern) +
                     " matches no case: a case renamed? `quarlo_host check --list` names them");
  }
  r.config.skips.push_back({pattern, v.text});
  return true;
}

bool read_table(std::string_view rest, reading& r, std::string& error) {
  rest.remove_prefix(1);
  if (!rest.empty() && rest.front() == '[') {
    return fault(error, "arrays of tables are not supported");
  }
  skip_blanks(rest);
  std::string name;
  if (!read_key(rest, name, error)) return false;
  if (rest.empty() || rest.front() != ']') return fault(error, "expected ] after the table name");
  rest.remove_prefix(1);
  if (!at_line_end(rest, "the table name", error)) return false;
  if (name != "skip") return fault(error, "unknown table [" + name + "]: the only one is [skip]");
  if (r.skip_table_line != 0) return fault(error, twice("table [skip]", r.skip_table_line));
  r.skip_table_line = r.line;
  return true;
}

bool read_line(std::string_view rest, reading& r, std::string& error) {
  if (!rest.empty() && rest.back() == '\r') rest.remove_suffix(1);
  if (!valid_utf8(rest)) return fault(error, "not valid UTF-8");
  skip_blanks(rest);
  if (rest.empty() || rest.front() == '#') return true;
  if (rest.front() == '[') return read_table(rest, r, error);
  std::string key;
  if (!read_key(rest, key, error)) return false;
  if (rest.empty() || rest.front() != '=') return fault(error, "expected = after the key");
  rest.remove_prefix(1);
  skip_blanks(rest);
  value v;
  if (!read_value(rest, v, error) || !at_line_end(rest, "the value", error)) return false;
  return r.skip_table_line != 0 ? add_skip(key, v, r, error) : add_option(key, v, r, error);
}

}  // namespace

bool parse_check_config(std::string_view text, const std::vector<check_case>& catalogue,
                        check_config& out, std::string& error) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  reading r{catalogue, 0, 0, {}, {}, {}};
  while (!text.empty()) {
    ++r.line;
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    std::string what;
    if (!read_line(line, r, what)) {
      error = "line " + std::to_string(r.line) + ": " + what;
      return false;
    }
  }
  out = std::move(r.config);
  return true;
}

const config_skip* skip_for(const check_config& config, std::string_view id) {
  for (const auto& skip : config.skips) {
    if (glob_match(skip.pattern, id)) return &skip;
  }
  return nullptr;
}

}  // namespace quarlo_host
