// The Dbase: the program's reference data of aircraft types, airlines,
// scenery publishers and real registrations, read once per process from the
// encrypted input/dbase.enc and read-only afterwards.
#pragma once

#include "catalogue/text_hash.h"
#include "simlink/ac_category.h"

#include <array>
#include <filesystem>
#include <atomic>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct DbaseRecord {
    std::string airl;  // ICAO airline code
    std::string type;  // ICAO model code
    std::string opr;   // operator, may be empty
    bool cargo = false;
};

struct ThirdPartyAirports {
    std::string publisher;
    std::vector<std::string> airports;
};

inline constexpr std::size_t kCategoryCount = 6;

struct Dbase {
    TextSet knownTypes;
    TextSet highPerfTypes;
    TextSet heavyTypes;
    TextSet largeTypes;
    TextSet buzjetTypes;
    TextSet rotorcraftTypes;
    TextSet cargoTypes;
    std::vector<std::vector<std::string>> similarGroups;  // each sorted ascending
    TextSet icaoAirlines;
    TextSet cargoOperators;
    std::vector<std::vector<std::string>> publisherGroups;  // first name reported
    std::map<std::string, double, std::less<>> halfWingspans;  // type -> NM
    std::array<double, kCategoryCount> categoryHalfWingspans{};  // average per AcCategory
    double maxHalfWingspan = 0.0;
    TextMap<std::string> codeFixes;  // wrong model code -> correct one
    TextSet simAddonAirports;
    std::vector<ThirdPartyAirports> thirdPartyAirports;
    TextMap<DbaseRecord> registrations;
    // Keys of registrations shorter than kShortRegistrationLength, for the
    // search of a registration inside a livery title.
    std::set<std::string_view> shortRegistrationKeys;
};

// Registrations shorter than this are searched for inside livery titles.
inline constexpr std::size_t kShortRegistrationLength = 6;

extern Dbase g_dbase;
// The largest half wing span of the Dbase, in nautical miles, under the name
// the traffic engine uses.
inline const double& g_dbaseMaxHalfWingspanNm = g_dbase.maxHalfWingspan;

// Raised (release) once the Dbase is complete: threads that did not read it
// themselves (the SimClient thread) look at it only after this.
extern std::atomic<bool> g_dbaseReady;

// Reads input/dbase.enc. False when the decrypted XML does not parse. Throws
// std::runtime_error when the file is missing or does not decrypt, and
// ozr::UserErrorException 61 for an empty list section. The plain
// input/dbase.xml is removed on every way out.
bool gf_readDbase();
// Reads an already decrypted Dbase XML (tests, fuzzing); the file stays.
bool gf_readDbaseXml(const std::filesystem::path& xmlPath);

// Number of scenery publisher groups.
std::size_t lf_publisherGroupCount();

// Empties every container (tests).
void gf_resetDbase();
