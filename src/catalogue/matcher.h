// The livery matcher: the title of an installed livery for every live and
// static aircraft, chosen by a fixed ladder from the most exact match (a
// livery assigned to the registration) to the most generic (any livery of a
// similar model). MATCHING_DEPTH (1..4) limits how far down it may go.
#pragma once

#include "simlink/ac_category.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// What the matcher reads and writes of an aircraft: the common head of the
// traffic engine's live and static aircraft.
struct AcHead {
    std::uint32_t hexid = 0;
    std::string airline;       // ICAO code, "PVT" private; may be empty
    std::string model;         // ICAO type code
    std::string registration;  // may be empty
    std::string callsign;
    std::string origin;
    std::string destination;
    AcCategory category = AcCategory::Light;
    // A view of the catalogue's title; empty: no livery.
    std::string_view liveryTitle;
    bool cargo = false;
    bool fsltl = false;  // the title is one of the FSLTL package's
};

inline constexpr std::size_t kMatchStepCount = 7;
// Accepted live matches per ladder step, for the daily summary.
extern std::array<std::uint32_t, kMatchStepCount> g_matchStepCounts;

// Live aircraft: sets liveryTitle, or leaves it empty when nothing fits.
void gf_matchLivery(AcHead& aircraft);
// Static aircraft on a stand: the stand's cargo flag becomes the aircraft's;
// false (after a log line naming the stand) when nothing fits.
bool gf_matchStaticLivery(AcHead& aircraft, std::string_view standName, bool standCargo);
// The regcode title of a registration, empty when none.
std::string_view lf_titleForRegcode(std::string_view registration);

// Description texts of the log lines.
std::string gf_airlineTypeText(std::string_view airline, std::string_view type);
std::string gf_airlineTypeText(const AcHead& aircraft);
// "{:8} {:8} {}" of callsign, registration and route, then the airline and
// type text.
std::string gf_acDescription(const AcHead& aircraft);
std::string gf_acDescriptionLong(const AcHead& aircraft);
// The key under which an aircraft without livery is reported: the airline and
// type text, a blank and the registration.
std::string gf_unmatchedKey(const AcHead& aircraft);

// Counters and the unmatched flights back to the start (tests).
void gf_resetMatcher();
