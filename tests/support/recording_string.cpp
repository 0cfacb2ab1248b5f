#include "support/recording_string.h"

#include <cstring>
#include <new>

namespace {

// The bytes of (text, length) up to the first NUL; a null text is empty.
std::string source(const char* text, uint32_t length) {
  if (text == nullptr) return {};
  uint32_t n = 0;
  while (n < length && text[n] != '\0') ++n;
  return std::string(text, n);
}

}  // namespace

void recording_string::record(const char* slot, const char* text, uint32_t length, bool changes) {
  calls_.push_back({slot, text, length});
  if (changes && fail_changes_) throw std::bad_alloc();
}

void recording_string::append_text(const char* text, uint32_t length) {
  record("append_text", text, length, true);
  text_ += source(text, length);
}

const char* recording_string::current_text() {
  record("current_text", nullptr, 0, false);
  return text_.c_str();
}

void recording_string::assign_text(const char* text, uint32_t length) {
  record("assign_text", text, length, true);
  text_ = source(text, length);
}

void recording_string::shorten(uint32_t length) {
  record("shorten", nullptr, length, true);
  if (length < text_.size()) text_.resize(length);
}

uint32_t recording_string::text_length() {
  record("text_length", nullptr, 0, false);
  return static_cast<uint32_t>(text_.size());
}

char* recording_string::open_write_area(uint32_t n) {
  record("open_write_area", nullptr, n, true);
  text_.assign(n, '\0');
  return text_.data();
}

void recording_string::close_write_area() {
  record("close_write_area", nullptr, 0, true);
  text_.resize(std::strlen(text_.c_str()));
}
