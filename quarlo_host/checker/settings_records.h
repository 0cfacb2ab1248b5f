// The records of a settings stream, split and joined by the checker.
#pragma once

#include <cstdint>
#include <vector>

namespace quarlo_host {

// A settings stream's records, as a module writes them: GUID, 32-bit
// little-endian size, payload.
struct settings_record {
  std::vector<uint8_t> guid;
  std::vector<uint8_t> payload;
};

// The records of a whole stream; false when it does not split into records exactly.
bool split_records(const std::vector<uint8_t>& bytes, std::vector<settings_record>& out);
std::vector<uint8_t> join_records(const std::vector<settings_record>& records);
// The 20 header bytes of a record.
std::vector<uint8_t> record_header(const settings_record& record);

}  // namespace quarlo_host
