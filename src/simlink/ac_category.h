// Aircraft categories of the catalogue, as the simulator link needs them
// (flight-plan type, the user aircraft's category).
#pragma once

#include <cstdint>

enum class AcCategory : std::uint32_t {
    Light = 0,
    Buzjets = 1,
    Large = 2,
    Heavy = 3,
    HighPerf = 4,
    Rotorcraft = 5,
};

// Jets and airliners: fly as their reports say, within an airliner's rates.
constexpr bool gf_isAirliner(AcCategory c) {
    return c == AcCategory::Buzjets || c == AcCategory::Large || c == AcCategory::Heavy;
}
