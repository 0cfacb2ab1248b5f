#include "detector_inputs.h"

#include <cstring>

namespace {

constexpr const char* trailing_guid = "0123abcd-0123-4567-89ab-cdef01234567";

std::string repeat_to_size(const std::string& piece, size_t size) {
  std::string text;
  text.reserve(size);
  while (text.size() < size) text += piece;
  text.resize(size);
  return text;
}

}  // namespace

std::vector<detector_input> make_detector_inputs() {
  const size_t guid_bytes = std::strlen(trailing_guid);
  std::vector<detector_input> inputs;
  inputs.push_back(
      {"no_hex", "no hex digit at all",
       repeat_to_size("ghijklmnop qrstuvwxyz - GHIJKLMNOP QRSTUVWXYZ, .;:!?()<>+*/=_~ ",
                      detector_input_bytes),
       -1});
  inputs.push_back({"dense_hex", "dense hex, no GUID (\"123456789-\" repeated)",
                    repeat_to_size("123456789-", detector_input_bytes), -1});
  inputs.push_back({"dash_dense", "dash-dense hex, no GUID (\"ab-cd-12-ef \" repeated)",
                    repeat_to_size("ab-cd-12-ef ", detector_input_bytes), -1});
  inputs.push_back(
      {"guid_at_end", "one GUID at the very end",
       repeat_to_size("The quick brown fox fed a bad-tempered cat 12 deaf beef cafes; ",
                      detector_input_bytes - guid_bytes - 1) +
           " " + trailing_guid,
       static_cast<long long>(detector_input_bytes - guid_bytes)});
  return inputs;
}
