// The records of the stand files: one known use of a stand (StandOption), one
// parking stand or helipad (Stand), and a whole stand file (AirportFile).
//
// The traffic engine speaks of a stand's "name" and its numeric "id"; the
// records keep the file's words: the text `id` is the stand's name, and
// `number` (its 1-based place in the stand list) is the engine's numeric id.
// The engine's one occupant mark and three search marks of the static
// parking are the four `marks` bytes. The accessors at the end of this file
// are the one place where those two vocabularies meet.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr double kNmPerMetre = 0.0005399568034557236;
inline constexpr double kMetresPerNm = 1852.0;

struct StandOption {
    std::string airline;  // ICAO airline code
    std::string type;     // ICAO aircraft type
    std::string reg;
    std::string cs;       // the callsign: attribute cs before its first ':'
    std::string cs2;      // the second callsign: after the first ':'
    std::uint64_t halfHours = 0;  // bits 0..47 of the UTC day
    std::uint32_t index = 0;      // 1-based within the stand; 0 = ignored, not written
    std::uint32_t day = 0;        // weekday 1..7
    std::uint32_t origin = 0;     // 1 read from the stand file, 0 learned
    std::uint32_t real = 1;       // 1 an observed use, 0 soft
    bool cpl = false;             // coupled

    bool operator==(const StandOption&) const = default;
};

// Which of the four occupant marks means what.
enum class StandMark : std::size_t {
    occupied = 0,        // an aircraft stands or parks there
    usedInSearch = 1,    // taken in the current search of the static parking
    reserved = 2,        // the user's reserved stand: the static parking leaves it free
    nextToUsed = 3,      // adjacent to a stand taken in the search
};

struct StandPlace {
    double lat_deg = 0.0;
    double lon_deg = 0.0;
    double hdg_rad = 0.0;
};

struct Stand {
    std::vector<StandOption> options;
    std::string id;
    std::vector<std::uint32_t> adjacent;
    double latitude = 0.0;   // degrees
    double longitude = 0.0;  // degrees
    double heading = 0.0;    // radians
    double radius = 0.0;     // nautical miles
    std::uint32_t number = 0;
    bool manual = false;
    bool radius_change = false;
    bool cargo_change = false;
    std::array<std::uint8_t, 4> marks{};
    bool cargo = false;
    bool ramp = false;
    bool heli = false;

    Stand() = default;
    // A stand as read from a file or decoded from scenery: every mark clear,
    // no number, no neighbours yet.
    Stand(std::string standId, std::vector<StandOption> standOptions, StandPlace place, double radius_m,
          bool isCargo, bool isRamp, bool isHeli)
        : options(std::move(standOptions)),
          id(std::move(standId)),
          latitude(place.lat_deg),
          longitude(place.lon_deg),
          heading(place.hdg_rad),
          radius(radius_m * kNmPerMetre),
          cargo(isCargo),
          ramp(isRamp),
          heli(isHeli) {
        adjacent.reserve(8);
    }

    bool operator==(const Stand&) const = default;
};

struct AirportFile {
    std::string code;
    std::string airport_name;
    std::string BGLpath;
    std::string publisher;  // "stock", "simaddon" or a vendor name
    std::int32_t Qf_real = 0;
    std::int32_t Qf_soft = 0;
    std::int32_t altitude = 0;  // feet
    std::vector<Stand> stands;
};

// ---- The engine's names for the stand fields ----
inline const std::string& gf_standName(const Stand& s) { return s.id; }
inline std::uint32_t gf_standNumericId(const Stand& s) { return s.number; }
inline std::uint8_t& gf_standMark(Stand& s, StandMark mark) { return s.marks[static_cast<std::size_t>(mark)]; }
inline std::uint8_t gf_standMark(const Stand& s, StandMark mark) { return s.marks[static_cast<std::size_t>(mark)]; }
