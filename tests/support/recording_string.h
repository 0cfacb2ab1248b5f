// A string_base for tests that keeps its text in a std::string and records every
// call made on it, so a test can tell which slots a function used, with what
// arguments, and that a function left the string alone.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "trel/string_base.h"

class recording_string final : public trel::string_base {
 public:
  struct call {
    const char* slot;
    const char* text;  // the pointer passed, or null for slots without one
    uint32_t length;
  };

  explicit recording_string(std::string initial = {}) : text_(std::move(initial)) {}

  const std::string& text() const { return text_; }
  const std::vector<call>& calls() const { return calls_; }
  // While on, every slot that would change the text throws std::bad_alloc
  // before changing anything, like a string whose heap is exhausted.
  void fail_changes(bool on) { fail_changes_ = on; }

  void append_text(const char* text, uint32_t length) override;
  const char* current_text() override;
  void assign_text(const char* text, uint32_t length) override;
  void shorten(uint32_t length) override;
  uint32_t text_length() override;
  char* open_write_area(uint32_t n) override;
  void close_write_area() override;

 private:
  void record(const char* slot, const char* text, uint32_t length, bool changes);

  std::string text_;
  std::vector<call> calls_;
  bool fail_changes_ = false;
};
