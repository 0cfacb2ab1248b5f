// Saving and loading a session's settings over the checker's streams.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "quarlo_host/checker/check_session.h"
#include "quarlo_host/checker/check_streams.h"
#include "quarlo_host/checker/settings_records.h"

namespace quarlo_host {

std::vector<uint8_t> save_of(check_session& s);
// The records of a save; empty when it saves none or does not split.
std::vector<settings_record> saved_records(check_session& s);
// Loads bytes, at most read_limit per read (0: no limit).
void load_from(check_session& s, std::vector<uint8_t> bytes, uint32_t read_limit = 0);

std::vector<uint8_t> random_bytes(std::mt19937& random, size_t n);
// "N byte(s): " and the first bytes in hex, for failure details.
std::string describe_bytes(const std::vector<uint8_t>& bytes);

}  // namespace quarlo_host
