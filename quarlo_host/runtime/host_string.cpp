#include "quarlo_host/runtime/host_string.h"

#include <cstring>

#include "quarlo/text_source.h"

namespace quarlo_host {

using quarlo::source_length;

void host_string::append_text(const char* text, uint32_t length) {
  ++calls_;
  // A copy first: the source may lie inside this string.
  const std::string source(text == nullptr ? "" : text, source_length(text, length));
  text_ += source;
}

void host_string::assign_text(const char* text, uint32_t length) {
  ++calls_;
  text_ = std::string(text == nullptr ? "" : text, source_length(text, length));
}

void host_string::shorten(uint32_t length) {
  ++calls_;
  if (length < text_.size()) text_.resize(length);
}

char* host_string::open_write_area(uint32_t n) {
  ++calls_;
  text_.assign(static_cast<size_t>(n), '\0');
  return text_.data();
}

void host_string::close_write_area() {
  ++calls_;
  text_.resize(std::strlen(text_.c_str()));
}

}  // namespace quarlo_host
