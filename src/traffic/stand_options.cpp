#include "traffic/stand_options.h"

#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>

#include "airports/park_airport_state.h"
#include "catalogue/dbase_queries.h"
#include "core/log.h"

namespace {

std::uint64_t lf_bit(std::int32_t halfHour) {
    if (halfHour < 0 || halfHour > 47) throw std::out_of_range(fmt::format("half-hour {}", halfHour));
    return std::uint64_t{1} << halfHour;
}

StandOption* lf_option(std::vector<StandOption>& options, std::uint32_t index) {
    if (index == 0) return nullptr;
    for (StandOption& o : options)
        if (o.index == index) return &o;
    return nullptr;
}

// Oldest first, while more than `keep` remain.
void lf_takeInto(StandOption& option, std::vector<std::int32_t>& halfHours, std::size_t keep,
                 bool stopAfterEndOfDay) {
    while (halfHours.size() > keep) {
        const std::int32_t h = halfHours.back();
        option.halfHours |= lf_bit(h);
        halfHours.pop_back();
        if (stopAfterEndOfDay && h == 47) return;
    }
}

}  // namespace

std::string_view gf_withoutGhostMark(std::string_view callsign) {
    if (!callsign.empty() && callsign.back() == '_') callsign.remove_suffix(1);
    return callsign;
}

AddedOption lf_addStandOption(std::vector<StandOption>& options, const AcBase& ac, WeekSlot slot,
                              std::string_view callsign, std::string_view registration, OptionFlags flags) {
    if (registration.empty()) return {};
    const std::string_view cs = gf_withoutGhostMark(callsign);
    const std::uint64_t set = lf_bit(slot.halfHour);
    std::string airline = ac.airline;
    std::string type = ac.type;
    if (const auto record = gf_lookupRegistration(registration)) {
        airline = record->opr.empty() ? record->airl : record->opr;
        type = record->type;
    }
    const auto weekday = static_cast<std::uint32_t>(slot.weekday);
    for (const StandOption& o : options) {
        if (o.reg == registration && o.day == weekday && o.halfHours == set) return {};
    }
    StandOption option;
    option.airline = std::move(airline);
    option.type = std::move(type);
    option.reg = std::string(registration);
    option.cs = std::string(cs);
    option.halfHours = set;
    option.index = static_cast<std::uint32_t>(options.size() + 1);
    option.day = weekday;
    option.origin = flags.origin;
    option.real = flags.real;
    options.push_back(std::move(option));
    g_standFileUpdates.fetch_add(1);
    return {options.back().index, true};
}

bool updateOptions(std::vector<StandOption>& options, std::vector<std::int32_t>& halfHours, std::uint32_t index) {
    StandOption* option = lf_option(options, index);
    if (!option) return false;
    try {
        lf_takeInto(*option, halfHours, 0, false);
    } catch (const std::out_of_range& e) {
        gf_logHighlight(fmt::format("{} exception:{}", "updateOptions", e.what()));
    }
    return true;
}

bool updateOptionsWrapped(std::vector<StandOption>& options, std::vector<std::int32_t>& halfHours,
                          std::uint32_t earlierIndex, std::uint32_t laterIndex) {
    StandOption* earlier = lf_option(options, earlierIndex);
    if (!earlier) return false;
    StandOption* later = lf_option(options, laterIndex);
    try {
        if (!halfHours.empty() && halfHours.back() != 0) lf_takeInto(*earlier, halfHours, 0, true);
        if (later) lf_takeInto(*later, halfHours, 1, false);
    } catch (const std::out_of_range& e) {
        gf_logHighlight(fmt::format("{} exception:{}", "updateOptionsWrapped", e.what()));
    }
    return later != nullptr;
}

void gf_setOptionCallsign(std::vector<StandOption>& options, std::uint32_t index, std::string_view callsign) {
    const std::string_view cs = gf_withoutGhostMark(callsign);
    StandOption* option = lf_option(options, index);
    if (cs.empty() || !option) return;
    if (option->cs.empty()) {
        option->cs = std::string(cs);
    } else if (option->cs != cs && option->cs2 != cs) {
        option->cs2 = std::string(cs);
    }
}

std::vector<std::int32_t> gf_halfHoursBack(WeekSlot slot, std::int32_t n) {
    std::vector<std::int32_t> list;
    list.reserve(static_cast<std::size_t>(std::max(n, 0)));
    for (std::int32_t i = 0; i < n; ++i) {
        list.push_back(slot.halfHour);
        if (--slot.halfHour < 0) {
            slot.halfHour = 47;
            slot.weekday = slot.weekday == 1 ? 7 : slot.weekday - 1;
        }
    }
    return list;
}
