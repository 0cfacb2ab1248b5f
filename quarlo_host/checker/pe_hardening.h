// The loader's hardening flags of a PE image, read from its optional header.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quarlo_host {

constexpr uint16_t pe_dynamic_base = 0x0040;
constexpr uint16_t pe_nx_compat = 0x0100;

// The DllCharacteristics field of image bytes; none when they hold no PE
// optional header.
std::optional<uint16_t> dll_characteristics(const std::string& image);

}  // namespace quarlo_host
