// One installed livery as the livery scan finds it, the scan's shared state
// (the scan list, the titles taken in this scan, the don't-use titles) and the
// small rules the section readers apply while they build liveries.
#pragma once

#include "catalogue/text_hash.h"

#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

// The airline code of a generic livery, usable for any airline.
inline constexpr std::string_view kGenericAirline = "ZZZ";
// The airline code of a private aircraft.
inline constexpr std::string_view kPrivateAirline = "PVT";
// Section headers of liveries in aircraft.cfg and sim.cfg, in the two
// spellings the files use.
inline constexpr std::string_view kFltsimHeaderLower = "[fltsim.";
inline constexpr std::string_view kFltsimHeaderUpper = "[FLTSIM.";

struct Livery {
    std::string airl;   // ICAO airline code, "PVT" private, "ZZZ" generic
    std::string type;   // ICAO model code
    std::string title;  // unique within one scan
    std::string atcid;  // registration; empty when none or several
    // 1-based position of the livery folder in the scan; 0 when read back from
    // LiveriesScanned.xml (the cache does not keep it).
    std::uint32_t folderIndex = 0;
    bool cargo = false;

    Livery() = default;
    Livery(std::string airl_, std::string type_, std::string title_, std::string atcid_, std::uint32_t folderIndex_,
           bool cargo_)
        : airl(std::move(airl_)),
          type(std::move(type_)),
          title(std::move(title_)),
          atcid(std::move(atcid_)),
          folderIndex(folderIndex_),
          cargo(cargo_) {}
    Livery(const Livery&) = default;
    Livery& operator=(const Livery&) = default;
    // A moved-from record is the empty record.
    Livery(Livery&& other) noexcept;
    Livery& operator=(Livery&& other) noexcept;

    // The scan list's order: airline, model, title, byte-wise.
    bool operator<(const Livery& other) const;
    // The folder index takes no part: the same livery found through two
    // folders is one livery.
    bool operator==(const Livery& other) const;

    // Four empty texts (a moved-from record).
    bool isEmpty() const { return airl.empty() && type.empty() && title.empty() && atcid.empty(); }
};

// The scan list: filled by the folder walk or read back from the cache,
// sorted with Livery's order. Worker thread only.
extern std::list<Livery> g_liveryScanList;

// The titles taken in the current scan; parse tasks on many threads insert
// into it, so every access holds the mutex.
struct LiveryTitleSet {
    std::mutex mutex;
    std::set<std::string> titles;
};
extern LiveryTitleSet g_liveryScanTitles;

// Titles that must never become liveries (regcode entries without
// registrations). Filled before the folders are walked and only read while
// the parse tasks run, so it needs no lock; hashed because every section of
// every scanned file is looked up in it.
extern TextHashSet g_dontUseTitles;

// Reserves the title for this scan and returns the filled record (cargo when
// passenger is 0); nothing when the title is already taken (an explicit
// answer: a livery may well have an empty airline code). Check and
// reservation are one step, so of two tasks with one title exactly one gets
// it.
std::optional<Livery> lf_makeLivery(std::uint32_t folderIndex, std::string airl, std::string type, int passenger, std::string title,
                     std::string atcid);

// Exact, case-sensitive.
bool lf_isDontUseTitle(std::string_view title);

// The registration rule of an atc_id value: false for an empty value or any
// part that is empty, " ", longer than 12 characters or holds "*" (registration
// unchanged then); else true, with the registration set to the single part,
// or empty for several parts.
bool lf_checkAtcId(std::string_view value, std::string& registration);

// Empties the title set and the don't-use titles (the reset after a scan).
void gf_resetLiveryScanTitles();
