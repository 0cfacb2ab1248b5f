// The host's own string_base: a module writes command names and menu texts into it.
#pragma once

#include <cstdint>
#include <string>

#include "quarlo/string_base.h"

namespace quarlo_host {

class host_string final : public trel::string_base {
 public:
  host_string() = default;
  explicit host_string(std::string text) : text_(std::move(text)) {}

  void append_text(const char* text, uint32_t length) override;
  const char* current_text() override { return text_.c_str(); }
  void assign_text(const char* text, uint32_t length) override;
  void shorten(uint32_t length) override;
  uint32_t text_length() override { return static_cast<uint32_t>(text_.size()); }
  char* open_write_area(uint32_t n) override;
  void close_write_area() override;

  const std::string& text() const { return text_; }
  // How many slot calls the string has received.
  uint32_t calls() const { return calls_; }

 private:
  std::string text_;
  uint32_t calls_ = 0;
};

}  // namespace quarlo_host
