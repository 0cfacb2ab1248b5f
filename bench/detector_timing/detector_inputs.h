// The detector's timing inputs, 1 MiB of text each and the same in every build:
// text without any hex digit (but with dashes); dense hex without a GUID (runs
// of nine digits and a dash); dash-dense hex without a GUID (two-digit groups,
// three dashes, a blank); prose full of hex letters and hyphenated words with
// one GUID at the very end.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

inline constexpr size_t detector_input_bytes = size_t{1} << 20;

struct detector_input {
  // One word, for machine-readable lines.
  const char* name;
  // For people.
  const char* title;
  std::string text;
  // Where the detector's run starts; -1 when there is none.
  long long run_offset;
};

std::vector<detector_input> make_detector_inputs();
