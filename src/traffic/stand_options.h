// The recorded uses of a stand: add an option for a half-hour, extend one
// over a run of half-hours (also across midnight into the next weekday's
// option) and put a callsign on one. Worker thread.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "airports/stand_records.h"
#include "traffic/live_ac.h"

struct AddedOption {
    std::uint32_t index = 0;
    bool added = false;
};

// The origin and real marks a new option carries.
struct OptionFlags {
    std::uint32_t origin = 0;
    std::uint32_t real = 1;
};

// One option for the slot's half-hour and weekday; nothing without a
// registration or when the same registration already has exactly this
// half-hour on this weekday. A half-hour above 47 throws std::out_of_range.
AddedOption lf_addStandOption(std::vector<StandOption>& options, const AcBase& ac, WeekSlot slot,
                              std::string_view callsign, std::string_view registration, OptionFlags flags);
// Sets the list's half-hours (oldest first) in the option with that index;
// false when there is none.
bool updateOptions(std::vector<StandOption>& options, std::vector<std::int32_t>& halfHours, std::uint32_t index);
// The list's half-hours up to 47 into the earlier day's option, the rest
// (but the newest) into the later day's; whether the later day's exists.
bool updateOptionsWrapped(std::vector<StandOption>& options, std::vector<std::int32_t>& halfHours,
                          std::uint32_t earlierIndex, std::uint32_t laterIndex);
// The option's callsign, or its coupled callsign when it has another one.
void gf_setOptionCallsign(std::vector<StandOption>& options, std::uint32_t index, std::string_view callsign);
// n half-hours stepping back from the slot, newest first.
std::vector<std::int32_t> gf_halfHoursBack(WeekSlot slot, std::int32_t n);

// The callsign without a trailing "_".
std::string_view gf_withoutGhostMark(std::string_view callsign);
