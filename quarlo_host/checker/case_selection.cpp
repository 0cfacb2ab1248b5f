#include "quarlo_host/checker/case_selection.h"

namespace quarlo_host {

namespace {

bool matches_any(const std::vector<std::string>& patterns, std::string_view id) {
  for (const auto& pattern : patterns) {
    if (glob_match(pattern, id)) return true;
  }
  return false;
}

}  // namespace

bool glob_match(std::string_view pattern, std::string_view text) {
  size_t p = 0;
  size_t t = 0;
  // Where the last '*' was, and the text position it now covers up to.
  size_t star = std::string_view::npos;
  size_t star_text = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_text = t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++star_text;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool select_cases(const std::vector<check_case>& catalogue, const std::vector<std::string>& only,
                  const std::vector<std::string>& skip, std::vector<const check_case*>& out,
                  std::string& error) {
  for (const auto* patterns : {&only, &skip}) {
    for (const auto& pattern : *patterns) {
      bool used = false;
      for (const auto& c : catalogue) used = used || glob_match(pattern, c.id);
      if (!used) {
        error = "no case matches " + pattern;
        return false;
      }
    }
  }
  out.clear();
  for (const auto& c : catalogue) {
    if ((only.empty() || matches_any(only, c.id)) && !matches_any(skip, c.id)) out.push_back(&c);
  }
  // Checking nothing must never pass as a module that passed.
  if (out.empty()) error = "the patterns leave no case to run";
  return !out.empty();
}

}  // namespace quarlo_host
