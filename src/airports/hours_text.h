// The times of day a stand is used: a set of the 48 half hours of the UTC
// day (bit n = the half hour beginning n * 30 minutes after midnight) and its
// text form in stand files (attribute hh).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr int kHalfHoursPerDay = 48;
inline constexpr std::uint64_t kAllHalfHours = (std::uint64_t{1} << kHalfHoursPerDay) - 1;

// "14:17" (a range) or "3, 7,20" (a list). An unusable text gives 0; every
// problem is logged highlighted, nothing is thrown.
std::uint64_t gf_hours2bitset(std::string_view text);

// "5" for one half hour, "14:17" for a run of consecutive ones; nothing for
// an empty set or a set with gaps (a list that the file form cannot hold).
std::optional<std::string> gf_bitset2hours(std::uint64_t set);
