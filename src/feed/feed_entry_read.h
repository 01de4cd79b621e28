// Reading the values of one feed entry by index, never past its end.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <string_view>

// A JSON number (integer or floating point) as a double; anything else, and
// an index past the end, is 0.
double gf_entryNumberRaw(const nlohmann::json& entry, std::size_t index);
// As gf_entryNumberRaw, with a value that is not finite also 0.
double gf_entryNumber(const nlohmann::json& entry, std::size_t index);
// Whether the value at index is a finite number: a value the receiver did
// not have comes as null (or a text), and that is no value, not 0.
bool gf_entryHasNumber(const nlohmann::json& entry, std::size_t index);
// A JSON string as it is; anything else, and an index past the end, is empty.
std::string gf_entryText(const nlohmann::json& entry, std::size_t index);
// Leading hexadecimal digits as a number; 0 without a digit or when the value
// does not fit 32 bits.
std::uint32_t gf_parseHexid(std::string_view text);
// Latitude within [-90, 90], longitude within [-180, 180] (NaN outside), and
// not both within 0.0001 degrees of 0 (the position of no position).
bool gf_positionInRange(double lat, double lon);
