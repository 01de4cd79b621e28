// What an aircraft can do, and what an identity text may hold, checked on
// every feed entry before it becomes a record: the service's numbers and
// texts go on to the simulator, the flight-plan files and Log.txt.
#pragma once

#include <nlohmann/json.hpp>

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// The value of an entry that no aircraft can have; none when it may be true.
enum class ImpossibleValue { none, latitude, longitude, altitude, groundSpeed, trueAirspeed, verticalRate, track, roll, count };

// Limits of a live entry's reported values. They take in the real oddities:
// helicopters flying backwards (a small negative speed), gliders and ground
// vehicles (0), airports below sea level (a report of -1,000 ft), military
// jets (a climb of 50,000 ft/min) and a Concorde-like jet (Mach 2 at
// 60,000 ft, with a jet-stream tail wind).
struct AircraftLimits {
    double minAlt_ft = -2000.0;
    double maxAlt_ft = 100000.0;
    double minSpeed_kt = -100.0;
    double maxSpeed_kt = 2000.0;
    double maxVerticalRate_fpm = 60000.0;
    double maxTrack_deg = 360.0;
    double maxRoll_deg = 180.0;
};
inline constexpr AircraftLimits kAircraftLimits{};

// The first value of a live entry (the service's 48-value array) beyond what
// an aircraft can do. Only numbers are judged: a missing value (null, a
// text) is the parser's "no value", and the true airspeed -1 means none.
ImpossibleValue gf_impossibleLiveValue(const nlohmann::json& entry);

// The longest identity texts a record keeps: what the simulator's tail
// number, the flight-plan's airport fields and the catalogue use. A callsign
// of ADS-B has 8 characters, an ICAO type 4, an airport code 4 (8 leave room
// for the local codes some sources send), a registration 12.
inline constexpr std::size_t kMaxCallsign_chars = 8;
inline constexpr std::size_t kMaxRegistration_chars = 12;
inline constexpr std::size_t kMaxType_chars = 4;
inline constexpr std::size_t kMaxAirportCode_chars = 8;
inline constexpr std::size_t kMaxStandName_chars = 32;

// text with every byte outside printable ASCII taken out (control
// characters, escape sequences' ESC, line feeds, and bytes of other
// alphabets that no callsign or code uses), then cut after maxChars.
// *changed is set when anything was taken out or cut.
std::string gf_cleanFeedText(std::string_view text, std::size_t maxChars, bool* changed = nullptr);

// What the entries of one answer lost to the limits, for its one log line.
struct EntryDrops {
    std::array<int, static_cast<std::size_t>(ImpossibleValue::count)> byValue{};
    int textsCleaned = 0;
    int dropped() const;
    void count(ImpossibleValue v) { ++byValue[static_cast<std::size_t>(v)]; }
    // gf_cleanFeedText, counting a text that changed.
    std::string clean(std::string_view text, std::size_t maxChars);
    // "" when nothing was dropped or cleaned, else the log line.
    std::string logLine(std::string_view answerName) const;
};
