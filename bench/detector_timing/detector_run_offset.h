// Where guid_detector finds its run in a text. The match is taken without a
// copy, so timing this times the scan.
#pragma once

#include <stdint.h>

#include "lookup/guid_detector.h"
#include "trel/string_base.h"

class match_sink final : public trel::string_base {
 public:
  void append_text(const char*, uint32_t) override {}
  const char* current_text() override { return start_; }
  void assign_text(const char* text, uint32_t length) override {
    start_ = text;
    length_ = length;
  }
  void shorten(uint32_t) override {}
  uint32_t text_length() override { return length_; }
  char* open_write_area(uint32_t) override { return nullptr; }
  void close_write_area() override {}

  const char* start_ = nullptr;
  uint32_t length_ = 0;
};

// The offset of the detector's run in the NUL-terminated text, or -1.
inline int32_t detector_run_offset(const char* text) {
  match_sink sink;
  if (!guid_detector(text, sink)) return -1;
  return static_cast<int32_t>(sink.start_ - text);
}
