#include "airports/park_stand_file.h"

#include "airports/airport_database.h"
#include "airports/airport_ports.h"
#include "airports/hours_text.h"
#include "airports/learned_path.h"
#include "airports/learned_writer.h"
#include "airports/park_airport_state.h"
#include "airports/quality_factor.h"
#include "airports/stand_file.h"
#include "airports/stand_file_locate.h"
#include "core/file_meta.h"
#include "core/files.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/text.h"
#include "core/text_encoding.h"
#include "core/user_error.h"
#include "core/version.h"
#include "core/status_line.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <unordered_map>
#include <mutex>
#include <fmt/format.h>

namespace fs = std::filesystem;

namespace {

// ---- Prefetched download (the traffic engine fetches off its pass) ----
std::mutex g_prefetchMutex;
std::string g_prefetchedReference;

bool lf_takePrefetched(std::string_view reference) {
    std::lock_guard lock(g_prefetchMutex);
    if (g_prefetchedReference.empty() || g_prefetchedReference != reference) return false;
    g_prefetchedReference.clear();
    return true;
}

constexpr std::int32_t kDefaultParkingPercentage = 30;
// Higher than any airport on earth, far within 32 bits.
constexpr double kMaxAltitude_ft = 100000.0;
constexpr double kAdjacencyWidening = 1.1;
constexpr double kManualStandMinDegrees = 0.0001;
const VersionData kFirstVersionWithKeptFlights{11, 10, 0};

// ---- The neighbour search ----
//
// Two stands are neighbours when their distance, widened by a tenth, is less
// than the sum of their radii: when their circles shrunk by the widening
// overlap. Then the point between them on the line of their centres lies in
// both shrunk circles, so two neighbours always share a cell of a grid in
// which each stand is entered in every cell its shrunk circle's bounding box
// touches. Cells are about the size of the stands, so a stand meets only the
// stands around it, whatever the largest stand of the airport, and the pass
// grows with the number of stands, not with its square.
class NeighbourGrid {
public:
    explicit NeighbourGrid(const std::vector<Stand>& stands) : m_stands(stands) {
        chooseCellSize();
        for (std::size_t i = 0; i < stands.size(); ++i) {
            if (isWide(i)) continue;
            // A stand far from the others' latitude (at a pole its circle
            // spans every column) would sweep a field of cells.
            const Cover c = coverOf(i);
            if ((c.row1 - c.row0 + 1) * (c.col1 - c.col0 + 1) > kMaxCellsPerStand) {
                m_isWide[i] = 1;
                m_wide.push_back(i);
                continue;
            }
            forEachCell(i, [&](std::uint64_t cell) { m_entries.emplace_back(cell, static_cast<std::uint32_t>(i)); });
        }
        std::sort(m_entries.begin(), m_entries.end());
    }
    // A stand too large (or without usable numbers) for the grid is compared
    // with every stand; no stand a file or the traffic gives is one.
    bool isWide(std::size_t i) const { return m_isWide[i] != 0; }
    const std::vector<std::size_t>& wide() const { return m_wide; }
    // Every stand entered in a cell that stand i's circle touches, once per
    // shared cell; in a crowded cell only those entered nearest to it in list
    // order (kCrowdReach each way, so that neighbours stay mutual).
    template <typename F>
    void forEachInCover(std::size_t i, F visit) const {
        using Entry = std::pair<std::uint64_t, std::uint32_t>;
        forEachCell(i, [&](std::uint64_t cell) {
            auto first = std::lower_bound(m_entries.begin(), m_entries.end(), Entry{cell, 0});
            auto last = std::upper_bound(first, m_entries.end(), Entry{cell, std::numeric_limits<std::uint32_t>::max()});
            if (last - first > 2 * kCrowdReach) {
                const auto at = std::lower_bound(first, last, Entry{cell, static_cast<std::uint32_t>(i)});
                if (at - first > kCrowdReach) first = at - kCrowdReach;
                if (last - at > kCrowdReach + 1) last = at + kCrowdReach + 1;
            }
            for (; first != last; ++first) visit(first->second);
        });
    }

private:
    // Beyond a nautical mile a stand is no stand: such a circle would cover
    // a field of cells.
    static constexpr double kMaxGridReach_nm = 1.0;
    static constexpr double kDegreesPerNm = 1.0 / 60.0;  // of latitude, on the sphere of gf_distanceNm
    static constexpr double kSmallestCell_deg = 1e-7;      // keeps row and column within 32 bits
    static constexpr std::int64_t kMaxCellsPerStand = 64;
    // A cell is about a stand wide: a real apron puts a few stands in one,
    // a crowd of hundreds is stands stacked on one spot (a file's duplicates).
    // Each of those meets only the 128 entered before and after it there, so
    // the search stays linear in the stands however many share a spot, and
    // a stacked stand gets at most 256 neighbours from its crowd.
    static constexpr std::ptrdiff_t kCrowdReach = 128;

    struct Cover {
        std::int64_t row0, row1, col0, col1;
    };

    static double lf_reach_nm(const Stand& s) { return std::max(s.radius, 0.0) / kAdjacencyWidening; }

    void chooseCellSize() {
        m_isWide.assign(m_stands.size(), 0);
        double sumReach_nm = 0.0, maxReach_nm = 0.0, sumAbsLat_deg = 0.0;
        std::size_t gridded = 0;
        for (std::size_t i = 0; i < m_stands.size(); ++i) {
            const Stand& s = m_stands[i];
            const double reach_nm = lf_reach_nm(s);
            if (!std::isfinite(s.latitude) || !std::isfinite(s.longitude) || std::fabs(s.latitude) > 90.0 ||
                !(reach_nm <= kMaxGridReach_nm)) {
                m_isWide[i] = 1;
                m_wide.push_back(i);
                continue;
            }
            sumReach_nm += reach_nm;
            maxReach_nm = std::max(maxReach_nm, reach_nm);
            sumAbsLat_deg += std::fabs(s.latitude);
            ++gridded;
        }
        if (gridded == 0) return;
        // About a stand's width, but never so small that the largest stand
        // covers more than a few cells each way.
        const double meanReach_nm = sumReach_nm / static_cast<double>(gridded);
        m_cellLat_deg = std::max({2.0 * meanReach_nm * kDegreesPerNm, maxReach_nm * kDegreesPerNm / 2.0,
                                  kSmallestCell_deg});
        const double cosLat =
            std::max(std::cos(sumAbsLat_deg / static_cast<double>(gridded) * kDegToRad), 0.01);
        // Columns divide the circle exactly, so that the column after the
        // last is the first again (stands on both sides of 180 degrees).
        m_columns = std::max<std::int64_t>(1, static_cast<std::int64_t>(360.0 / (m_cellLat_deg / cosLat)));
        m_cellLon_deg = 360.0 / static_cast<double>(m_columns);
    }

    Cover coverOf(std::size_t i) const {
        const Stand& s = m_stands[i];
        // Slightly wider than the circle: the cells must hold it whole,
        // rounding included.
        const double reach_rad = lf_reach_nm(s) * kDegreesPerNm * kDegToRad * 1.01 + 1e-12;
        const double halfLat_deg = reach_rad / kDegToRad;
        Cover c{rowOf(std::max(s.latitude - halfLat_deg, -90.0)), rowOf(std::min(s.latitude + halfLat_deg, 90.0)), 0,
                m_columns - 1};
        // The widest longitude span of a circle on the sphere; all of it
        // when the circle holds a pole.
        const double sinRatio = std::sin(reach_rad) / std::cos(s.latitude * kDegToRad);
        if (sinRatio < 1.0) {
            const double halfLon_deg = std::asin(sinRatio) * 1.01 / kDegToRad + 1e-12;
            c.col0 = columnOf(s.longitude - halfLon_deg);
            c.col1 = std::min(columnOf(s.longitude + halfLon_deg), c.col0 + m_columns - 1);
        }
        return c;
    }
    template <typename F>
    void forEachCell(std::size_t i, F visit) const {
        const Cover c = coverOf(i);
        for (std::int64_t row = c.row0; row <= c.row1; ++row) {
            for (std::int64_t column = c.col0; column <= c.col1; ++column) {
                const std::int64_t wrapped = ((column % m_columns) + m_columns) % m_columns;
                visit((static_cast<std::uint64_t>(row) << 32) | static_cast<std::uint64_t>(wrapped));
            }
        }
    }
    std::int64_t rowOf(double lat_deg) const {
        return static_cast<std::int64_t>(std::floor((lat_deg + 90.0) / m_cellLat_deg));
    }
    std::int64_t columnOf(double lon_deg) const {
        return static_cast<std::int64_t>(std::floor((lon_deg + 180.0) / m_cellLon_deg));
    }

    const std::vector<Stand>& m_stands;
    std::vector<std::uint8_t> m_isWide;
    std::vector<std::size_t> m_wide;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> m_entries;  // (cell, stand), sorted
    double m_cellLat_deg = 1.0;
    double m_cellLon_deg = 1.0;
    std::int64_t m_columns = 360;
};

void lf_continuation(std::string_view key, const std::string& value) {
    gf_logContinuation(fmt::format("{:24}: {}", key, value));
}

void lf_takeBackup() {
    AirportSettingsBackup& b = g_parkAirportFile.backup;
    b.maxLiveSel = MAX_LIVE_SEL.value();
    b.maxFit = MAX_FIT.value();
    b.range = RANGE.value();
    b.parkingPercentage = parking_percentage.value();
    b.autoRange = AUTO_RANGE.value();
    b.initialLoadOnly = INITIAL_LOAD_ONLY.value();
    b.rtParkTrafficOnly = RT_PARKTRAFFIC_ONLY.value();
    b.parkSoft = PARK_SOFT.value();
    b.week = WEEK.value();
}

// A yes/no setting of a learned file, read whole: " true" is no "off", and
// "ja" no "no" the close would write back. A value that does not read whole
// is not used (the setting keeps its value).
std::optional<bool> lf_learnedFlag(const pugi::xml_document& document, std::string_view key,
                                   std::vector<std::string>& problems) {
    const std::optional<std::string> text = gf_readStringParameter(document, key);
    if (!text) return std::nullopt;
    const std::optional<bool> value = gf_wholeFlag(*text);
    if (!value) {
        problems.push_back(fmt::format("the setting {} \"{}\" is not true or false and is not used", key, *text));
    }
    return value;
}

void lf_setFlag(CheckBoxParameter& setting, std::optional<bool> value) {
    if (!value) return;
    setting.setValue(*value);
    gf_showCheck(setting);
    lf_continuation(setting.name(), *value ? "true" : "false");
}

// A number setting of a learned file, read whole: "25,5" is no range of 25,
// which the close would write back as the airport's range. A value that
// does not read whole is not used (the setting keeps its value).
std::optional<std::int32_t> lf_learnedNumber(const pugi::xml_document& document, std::string_view key,
                                             std::vector<std::string>& problems) {
    const std::optional<std::string> text = gf_readStringParameter(document, key);
    if (!text) return std::nullopt;
    const std::optional<std::int64_t> value = gf_wholeInteger(*text);
    if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
        *value > std::numeric_limits<std::int32_t>::max()) {
        problems.push_back(fmt::format("the setting {} \"{}\" is not a whole number and is not used", key, *text));
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*value);
}

// A whole-number parameter of a stand file, read whole: "1,234" is no
// altitude of 1 ft, which a rewrite would write back. A value that does not
// read whole is not used.
std::optional<std::int32_t> lf_parameterInteger(const pugi::xml_document& document, std::string_view key,
                                                std::vector<std::string>& problems) {
    const std::optional<std::string> text = gf_readStringParameter(document, key);
    if (!text) return std::nullopt;
    const std::optional<std::int64_t> value = gf_wholeInteger(*text);
    if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
        *value > std::numeric_limits<std::int32_t>::max()) {
        problems.push_back(fmt::format("the parameter {} \"{}\" is not a whole number and is not used", key, *text));
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*value);
}

// The airport settings of a learned file, in the order they take effect.
void lf_readLearnedSettings(const pugi::xml_document& document, std::vector<std::string>& problems) {
    AirportWindow& window = gf_airportWindow();
    if (const auto value = lf_learnedNumber(document, MAX_LIVE_SEL.name(), problems)) {
        MAX_LIVE_SEL.setValue(MAX_LIVE_SEL.clamp(*value));
        gf_showComboValue(MAX_LIVE_SEL);
        lf_continuation(MAX_LIVE_SEL.name(), fmt::format("{}", MAX_LIVE_SEL.value()));
    }
    const auto range = lf_learnedNumber(document, RANGE.name(), problems);
    if (range) {
        gf_showAirportRange(*range);
        lf_continuation(RANGE.name(), fmt::format("{}", *range));
        gf_enableSettingControl(RANGE, true);
    }
    if (const auto value = lf_learnedFlag(document, AUTO_RANGE.name(), problems)) {
        lf_setFlag(AUTO_RANGE, value);
        window.applyAutoRange();
        // Switched off, the window goes back to the range last chosen by
        // hand, which is not this airport's: the airport's own range stays,
        // or the close would write the other one into its learned file.
        if (range && !AUTO_RANGE.value()) gf_showAirportRange(*range);
    }
    // Clamped like every other setting: a file edited by hand must not
    // park more aircraft than there are stands.
    if (const auto value = lf_learnedNumber(document, parking_percentage.name(), problems)) {
        parking_percentage.setValue(parking_percentage.clamp(*value));
        lf_continuation(parking_percentage.name(), fmt::format("{}", parking_percentage.value()));
    } else {
        parking_percentage.setValue(kDefaultParkingPercentage);
    }
    gf_showComboValue(parking_percentage);
    lf_setFlag(WEEK, lf_learnedFlag(document, WEEK.name(), problems));
    lf_setFlag(PARK_SOFT, lf_learnedFlag(document, PARK_SOFT.name(), problems));
    if (const auto value = lf_learnedNumber(document, MAX_FIT.name(), problems)) {
        MAX_FIT.setValue(MAX_FIT.clamp(*value));
        gf_showAirportMaxFit();
        gf_logContinuation(fmt::format("{:24}: {} (max number of half hours, is {:.1F} hrs decimal)", MAX_FIT.name(),
                                       MAX_FIT.value(), MAX_FIT_FL.value()));
    }
    if (const auto value = lf_learnedFlag(document, RT_PARKTRAFFIC_ONLY.name(), problems)) {
        lf_setFlag(RT_PARKTRAFFIC_ONLY, value);
        window.applyParkTrafficOnly();
    }
    if (const auto value = lf_learnedFlag(document, INITIAL_LOAD_ONLY.name(), problems)) {
        lf_setFlag(INITIAL_LOAD_ONLY, value);
        window.updateNowButton();
    }
}

// The uses a stand has, by what makes two uses the same (day, kind,
// registration, airline, type), with the union of their half hours: a new use
// is the same as one of them exactly when it meets that union. A long learned
// file is merged without comparing every use with every other.
class StandUseIndex {
public:
    explicit StandUseIndex(const Stand& stand) {
        m_halfHours.reserve(stand.options.size());
        for (const StandOption& o : stand.options) add(o);
    }
    bool known(const StandOption& o) const {
        const auto it = m_halfHours.find(keyOf(o));
        return it != m_halfHours.end() && (it->second & o.halfHours) != 0;
    }
    void add(const StandOption& o) { m_halfHours[keyOf(o)] |= o.halfHours; }

private:
    // An XML attribute never holds a NUL, so the parts cannot run together.
    static std::string keyOf(const StandOption& o) {
        std::string key = fmt::format("{}|{}|", o.day, o.real);
        key.append(o.reg).push_back('\0');
        key.append(o.airline).push_back('\0');
        key.append(o.type);
        return key;
    }
    std::unordered_map<std::string, std::uint64_t> m_halfHours;
};

bool lf_mergeInto(pugi::xml_node parkpos, bool clearFlights, Stand& stand, StandUseIndex& uses,
                  std::vector<std::string>& problems) {
    // A misspelt name would read as a missing value, and the close would
    // write the entry back without what the user wrote.
    std::string slip = gf_attributeNameSlip(parkpos);
    if (slip.empty()) slip = gf_flagSlip(parkpos);
    if (!slip.empty()) {
        problems.push_back(fmt::format("Parking position '{}': the learned entry is not used, {}.", stand.id, slip));
        return true;
    }
    if (gf_flag(parkpos, "radius_change")) {
        // Checked as the stand file's radius is: the traffic and the
        // neighbour search take it as it is; "25,5" is no radius of 25 m.
        const std::optional<double> radius_m = gf_wholeNumber(parkpos.attribute("radius").as_string());
        if (radius_m && gf_usableStandRadius(*radius_m)) {
            stand.radius = *radius_m * kNmPerMetre;
            stand.radius_change = true;
        } else {
            problems.push_back(fmt::format("Parking position '{}': the learned radius \"{}\" is not used.", stand.id,
                                           parkpos.attribute("radius").as_string()));
        }
    }
    if (gf_flag(parkpos, "cargo_change")) {
        stand.cargo = gf_flag(parkpos, "cargo");
        stand.cargo_change = true;
    }
    if (clearFlights) return true;
    std::uint32_t next = stand.options.empty() ? 1 : stand.options.back().index + 1;
    for (pugi::xml_node opt : parkpos.children("opt")) {
        std::string optSlip = gf_attributeNameSlip(opt);
        if (optSlip.empty()) optSlip = gf_flagSlip(opt);
        if (!optSlip.empty()) {
            problems.push_back(
                fmt::format("Parking position '{}': a learned use is not used, {}.", stand.id, optSlip));
            continue;
        }
        const std::uint64_t halfHours = gf_hours2bitset(opt.attribute("hh").as_string());
        if (halfHours == 0) {
            gf_logHighlight("empty bit set");
            problems.push_back(fmt::format("Parking position '{}': a learned use without hours is not used.", stand.id));
            continue;
        }
        // Hours with a gap ("3,7") have no text the writer could give back:
        // taken, the use would be dropped from the file at the close.
        if (!gf_bitset2hours(halfHours)) {
            problems.push_back(fmt::format("Parking position '{}': the learned use with hours \"{}\" is not used.",
                                           stand.id, opt.attribute("hh").as_string()));
            continue;
        }
        // A weekday outside 1..7 would never match a day of the traffic and
        // would only weigh on the quality factors.
        const std::optional<std::int64_t> day = gf_wholeInteger(opt.attribute("day").as_string());
        if (!day || *day < 1 || *day > 7) {
            problems.push_back(
                fmt::format("Parking position '{}': a learned use on day \"{}\" is not used.", stand.id,
                            opt.attribute("day").as_string()));
            continue;
        }
        StandOption o = lf_readStandOption(opt);
        o.halfHours = halfHours;
        o.day = static_cast<std::uint32_t>(*day);
        o.origin = 0;
        o.index = next;
        if (uses.known(o)) continue;
        uses.add(o);
        stand.options.push_back(std::move(o));
        ++next;
    }
    return true;
}

// The learned entries of the file, merged into the stand list; what cannot be
// taken adds its message to problems. Stands and their uses are found through
// indexes: a file of many thousand entries is read in one pass.
void lf_readLearnedStands(const pugi::xml_document& document, const fs::path& path, bool clearFlights,
                          std::vector<std::string>& problems) {
    const std::string pathText = gf_pathToUtf8(path);
    std::unordered_map<std::string, std::size_t> standOf;
    standOf.reserve(g_standList.size());
    for (std::size_t i = 0; i < g_standList.size(); ++i) standOf.emplace(g_standList[i].id, i);
    std::unordered_map<std::size_t, StandUseIndex> usesOf;
    std::string firstUnplaced;
    for (pugi::xml_node parkpos : gf_rootChild(document, "parkpositions").children("parkpos")) {
        const std::string id = parkpos.attribute("id").as_string();
        const auto found = standOf.find(id);
        // Whether it is the user's own stand decides where it goes: a value
        // that says neither leaves the entry unused, in the file as it was.
        const std::optional<bool> manual = gf_wholeFlag(parkpos.attribute("manual").as_string("false"));
        if (!manual) {
            problems.push_back(fmt::format("Parking position '{}': the learned entry is not used, manual \"{}\" is not "
                                           "true or false.",
                                           id, parkpos.attribute("manual").value()));
            continue;
        }
        if (!*manual) {
            // An id the stand file does not know (renamed by an archive
            // update, a blank too many) is not used, but stays in the file as
            // it was: the stand may come back.
            if (found == standOf.end()) {
                if (g_standFileRead.unplacedCount++ == 0) firstUnplaced = id;
                g_standFileRead.unplaced.append_copy(parkpos);
                continue;
            }
            Stand& stand = g_standList[found->second];
            auto uses = usesOf.try_emplace(found->second, stand).first;
            lf_mergeInto(parkpos, clearFlights, stand, uses->second, problems);
            continue;
        }
        // The user's own stand: one that is not taken stays in the file,
        // which is then not written back.
        if (found != standOf.end()) {
            gf_logHighlight(fmt::format("manually created standid {} already exists in {}", id, pathText));
            problems.push_back(fmt::format("manually created stand '{}' has the id of another stand", id));
            continue;
        }
        const double lat = parkpos.attribute("latitude").as_double();
        const double lon = parkpos.attribute("longitude").as_double();
        const double radius = parkpos.attribute("radius").as_double();
        if ((std::fabs(lat) <= kManualStandMinDegrees && std::fabs(lon) <= kManualStandMinDegrees) || radius == 0.0) {
            gf_logHighlight(fmt::format("manually created standid {} misses correct attributes in {}", id, pathText));
            problems.push_back(fmt::format("manually created stand '{}' misses correct attributes", id));
            continue;
        }
        if (!lf_readParkpos(parkpos, id, 0, g_standList, &problems)) continue;
        g_standList.back().manual = true;
        standOf.emplace(id, g_standList.size() - 1);
    }
    const std::size_t unplaced = g_standFileRead.unplacedCount;
    if (unplaced > 0) {
        gf_logLine(fmt::format("learned stand {} in {} not found?{}", firstUnplaced, pathText,
                               unplaced == 1 ? std::string(" (kept in the file, not used)")
                                             : fmt::format(" ({} such entries kept in the file, not used)", unplaced)));
    }
}

constexpr const char* kSeeLearnedFiles = ", see Manual 6.3";  // learned stand files, edited by hand

// What the user must mend in the airport's files, one text per file, kept
// on the notice line until the airport is left.
std::vector<std::string> g_airportNotices;

void lf_addAirportNotice(std::string text) {
    // Every message the window shows is in Log.txt as well.
    gf_logLine(text);
    g_airportNotices.push_back(std::move(text));
    std::string joined;
    for (const std::string& notice : g_airportNotices) joined += (joined.empty() ? "" : "   ") + notice;
    gf_setAirportNotice(joined);
}

// Entries of a file that the program does not use: each is logged, and the
// notice line names the file and the first of them.
void lf_noticeUnused(const std::string& fileText, const std::vector<std::string>& problems, std::string_view after) {
    for (const std::string& problem : problems) gf_logHighlight(fmt::format("{}: {}", fileText, problem));
    std::string first = problems.front();
    std::string more;
    if (problems.size() > 1) {
        if (first.ends_with('.')) first.pop_back();
        more = fmt::format(", and {} more in Log.txt", problems.size() - 1);
    }
    lf_addAirportNotice(fmt::format("{}: {}{}{}", fileText, first, more, after));
}

// A learned or hand-made file with entries the program does not use is used
// without them, and the user is told which file holds them; the file itself
// is never written back while it reads like this.
void lf_reportNotWhole(const fs::path& path, const std::vector<std::string>& problems) {
    if (problems.empty()) return;
    g_parkAirportFile.learnedNotWhole = true;
    if (g_standFileRead.whyNotWhole.empty()) g_standFileRead.whyNotWhole = problems.front();
    lf_noticeUnused(gf_pathToUtf8(path), problems, " (the file is left unchanged)");
}

// Where the XML parser stopped, as the line an editor shows.
std::size_t lf_lineAt(const fs::path& path, std::ptrdiff_t offset) {
    std::ifstream in(path, std::ios::binary);
    std::size_t line = 1;
    for (std::ptrdiff_t i = 0; i < offset && in; ++i) {
        if (in.get() == '\n') ++line;
    }
    return line;
}

// Nothing but a byte-order mark and blanks: "No document element found at
// line 1" would send the user looking for a fault in a file with no text.
bool lf_isEmptyText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (std::string_view bom : {std::string_view("\xEF\xBB\xBF"), std::string_view("\xFF\xFE"),
                                 std::string_view("\xFE\xFF")}) {
        if (bytes.starts_with(bom)) {
            bytes.erase(0, bom.size());
            break;
        }
    }
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; });
}

// A learned or hand-made file that is no XML (a missing quote, a stray
// closing tag, a file cut short) is the user's to mend: a copy is kept, the
// log and the notice line name it, and the close leaves the file in place
// rather than replace it by what the stand file alone gives.
// The largest airports have a few thousand stands; with years of learned
// uses their files stay within a few megabytes. A file beyond the cap is no
// airport's: read, its document and stands would take memory by the
// gigabyte (about seven times the file's size).
constexpr std::uintmax_t kMaxStandFileBytes = std::uintmax_t{32} << 20;

std::string lf_tooLargeToRead(const fs::path& path) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error || size <= kMaxStandFileBytes) return {};
    return fmt::format("it holds {:.1f} MB, more than the {} MB a stand file may hold", static_cast<double>(size) / (1 << 20),
                       kMaxStandFileBytes >> 20);
}

void lf_keepUnreadableLearned(const fs::path& path, const pugi::xml_parse_result& result) {
    // "0" before the extension, or the next free name: a copy kept at an
    // earlier start is the user's evidence too.
    std::error_code ec;
    const fs::path copy = gf_keepCopyOf(path, ec);
    const bool kept = !copy.empty();
    const std::string why = lf_isEmptyText(path) ? std::string("it is empty")
                                                 : fmt::format("line {}: {}", lf_lineAt(path, result.offset),
                                                               result.description());
    // The close that leaves the file alone says why, not only that.
    if (g_standFileRead.whyNotWhole.empty()) g_standFileRead.whyNotWhole = why;
    const std::string pathText = gf_pathToUtf8(path);
    const std::string keptText = kept ? fmt::format("saved as {}", gf_pathToUtf8(copy)) : "no copy could be saved";
    gf_logHighlight(fmt::format("{} found, but could not be loaded, {}: {}", pathText, keptText, why));
    gf_logContinuation("the stand file's stands are used until the file is mended");
    g_parkAirportFile.learnedNotWhole = true;
    lf_addAirportNotice(fmt::format("{} is damaged ({}), {}; the stand file's stands are used until you mend it{}",
                                    pathText, why,
                                    kept ? fmt::format("a copy is kept as {}", gf_pathToUtf8(copy.filename()))
                                         : std::string("no copy could be kept"),
                                    kSeeLearnedFiles));
}

// A file that is there but cannot be opened (held open by another program,
// a folder of that name) is not damaged: nothing of it is copied, the user is
// told what is wrong, and the close leaves it alone.
void lf_reportUnreadableLearned(const fs::path& path, const std::string& why) {
    const std::string pathText = gf_pathToUtf8(path);
    gf_logHighlight(fmt::format("{} found, but could not be read: {}", pathText, why));
    g_parkAirportFile.learnedNotWhole = true;
    if (g_standFileRead.whyNotWhole.empty()) g_standFileRead.whyNotWhole = why;
    lf_addAirportNotice(fmt::format("{} could not be read: {}; the stand file's stands are used and the file is left "
                                    "as it is{}",
                                    pathText, why, kSeeLearnedFiles));
}

// A byte that is no UTF-8 in a file otherwise written in UTF-8 stays as it
// is; the user is told where it is, as a program that shows the file
// shows something else there.
void lf_noticeStrayByte(const std::string& fileText, const std::string& where) {
    lf_addAirportNotice(fmt::format("{}: a byte that is not UTF-8 ({}) is kept as it is; the rest is read as UTF-8",
                                    fileText, where));
}

fs::path g_fileAtFault;

// Learned uses a close could not save, by the file they belong in.
struct UnsavedUses {
    fs::path path;
    std::vector<std::pair<std::string, StandOption>> uses;  // stand id, use
};
std::vector<UnsavedUses> g_unsavedUses;

// They join the stands read, as uses learned in this visit: the reference
// the close holds its write against does not have them, so they are written.
void lf_restoreUnsavedUses(const fs::path& learnedPath) {
    const auto it = std::find_if(g_unsavedUses.begin(), g_unsavedUses.end(),
                                 [&](const UnsavedUses& u) { return u.path == learnedPath; });
    if (it == g_unsavedUses.end()) return;
    std::size_t restored = 0;
    for (auto& entry : it->uses) {
        const std::string& id = entry.first;
        StandOption& use = entry.second;
        const auto stand = gf_findStandByName(id);
        if (stand == g_standList.end()) continue;
        if (std::any_of(stand->options.begin(), stand->options.end(),
                        [&](const StandOption& o) { return lf_sameStandOption(o, use); })) {
            continue;
        }
        use.index = stand->options.empty() ? 1 : stand->options.back().index + 1;
        stand->options.push_back(std::move(use));
        ++restored;
    }
    g_unsavedUses.erase(it);
    if (restored > 0) {
        gf_logLine(fmt::format("{} learned use{} the last close could not save in '{}' taken again", restored,
                               gf_pluralSize(restored), gf_pathToUtf8(learnedPath)));
    }
}

void lf_setDefaultParkingPercentage() {
    std::int32_t percentage = kDefaultParkingPercentage;
    const auto current = g_currentAirport.get();
    if (current) {
        if (const auto airport = gf_findAirport(current->code)) {
            if (airport->stands == 1) percentage = 100;
            if (airport->stands == 2) percentage = 50;
        }
    }
    parking_percentage.setValue(percentage);
    gf_logContinuation(fmt::format("{:24}: {}%", parking_percentage.name(), percentage));
    gf_showComboValue(parking_percentage);
    gf_enableSettingControl(parking_percentage, true);
}

std::string lf_readApfSteps(std::string_view reference, const std::string& code) {
    // 2. A local file is read in place; an archived one is fetched first.
    fs::path file;
    if (gf_isLocalReference(reference)) {
        file = gf_referencePath(reference);
    } else {
        file = gf_workPaths().airports / "park_airport.xml";
        if (!lf_takePrefetched(reference)) {
            const std::string error = lf_downloadAirportFile(reference, file);
            if (!error.empty()) return error;
        }
    }
    // 3.-5. The file and its header.
    g_parkAirportFile.handmade = false;
    if (const std::string tooLarge = lf_tooLargeToRead(file); !tooLarge.empty()) {
        return fmt::format("{}: could not load file: {}", reference, tooLarge);
    }
    pugi::xml_document document;
    std::string stray;
    if (const pugi::xml_parse_result loaded = gf_loadStandFile(file, document, &stray); !loaded) {
        // What the parser met and where, for the user who mends the file;
        // the file itself is named once.
        if (loaded.status == pugi::status_file_not_found || loaded.status == pugi::status_io_error) {
            const std::string why = gf_whyNotReadable(file);
            return fmt::format("{}: could not load file: {}", reference, why.empty() ? loaded.description() : why);
        }
        if (loaded.status == pugi::status_out_of_memory) {
            return fmt::format("{}: could not load file: {}", reference, loaded.description());
        }
        return fmt::format("{}: could not load file: {} at byte {}", reference, loaded.description(), loaded.offset);
    }
    if (!gf_readMeta(document, false)) return fmt::format("{}: refused to load", reference);
    if (!stray.empty()) lf_noticeStrayByte(std::string(reference), stray);

    // 6. Parameters.
    std::vector<std::string> unused;
    g_parkAirportFile.RT_traffic_week = lf_parameterInteger(document, "RT_traffic_week", unused).value_or(0);
    g_parkAirportFile.publisher = gf_readStringParameter(document, "publisher").value_or("");
    // Named: the run stops on it, and the user must find which stand file to
    // mend.
    const auto altitudeText = gf_readStringParameter(document, "altitude");
    if (!altitudeText) {
        throw ozr::UserErrorException(65, fmt::format("Parameter {} not found in {}", "altitude", reference));
    }
    // "abc" would read as 0 ft and put the airport's parked aircraft at sea
    // level; a decimal value is rounded, as the program writes whole feet.
    const std::optional<double> altitude_ft = gf_wholeNumber(*altitudeText);
    if (!altitude_ft || std::fabs(*altitude_ft) > kMaxAltitude_ft) {
        throw ozr::UserErrorException(
            65, fmt::format("Parameter {} \"{}\" is not a number in {}", "altitude", *altitudeText, reference));
    }
    g_parkAirportFile.altitude = static_cast<std::int32_t>(std::lround(*altitude_ft));
    g_parkAirportFile.airport_name = gf_readStringParameter(document, "airport_name").value_or("");

    // 7.-9. Stands, the file's quality pair, the settings backup.
    lf_readParkpositions(document, g_standList, &unused, reference);
    const auto qfReal = lf_parameterInteger(document, "Qf_real", unused);
    const auto qfSoft = lf_parameterInteger(document, "Qf_soft", unused);
    if (!unused.empty()) lf_noticeUnused(std::string(reference), unused, "");
    if (qfReal && qfSoft) g_parkAirportFile.quality = {*qfReal, *qfSoft};
    lf_takeBackup();

    // 10.-12. The learned overlay.
    const fs::path learned = lf_learnedPathOf(reference, g_parkAirportFile.publisher);
    std::error_code ec;
    const bool learnedExists = !learned.empty() && fs::exists(learned, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) throw fs::filesystem_error("exists", learned, ec);
    g_standFileRead.path = learned;
    g_standFileRead.found = learnedExists;
    if (!learnedExists) {
        gf_logLine("learned does not exist");
        gf_logFlush();
        lf_applyQualityRule(g_parkAirportFile.quality);
        gf_showCheck(PARK_SOFT);
        gf_showCheck(WEEK);
        lf_setDefaultParkingPercentage();
        gf_recordWhatWasRead();
    } else {
        lf_readLearned(learned);
        g_parkAirportFile.quality = gf_qualityFactor(g_standList);
        if (g_parkAirportFile.handmade) gf_logLine("A handmade airport file overruled the archived file!");
        gf_recordWhatWasRead();
    }

    if (!learned.empty()) lf_restoreUnsavedUses(learned);

    // 13.-15. Numbers and neighbours.
    gf_changeAirportDisplay([](AirportDisplay& d) { d.standCount = g_standList.size(); });
    gf_numberStandsAndNeighbours(g_standList);

    // 16.-19. Summary, window values, the flags the engine waits for.
    const ParkAirportFile& f = g_parkAirportFile;
    gf_logLine(fmt::format("Airport file read from '{}' for {}", f.handmade ? gf_pathToUtf8(learned)
                                                                             : std::string(reference),
                           f.airport_name));
    const std::string qualityText = lf_qualityFactorText(f.quality);
    gf_logContinuation(fmt::format("{:24}: {}", "publisher", f.publisher));
    gf_logContinuation(fmt::format("{:24}: {} ft", "altitude", f.altitude));
    gf_logContinuation(fmt::format("{:24}: {}", "num_parkpos", g_standList.size()));
    gf_logContinuation(fmt::format("{:24}: {}", "quality factor", qualityText));
    gf_logContinuation(fmt::format("{:24}: {}", "RT traffic week", f.RT_traffic_week));
    gf_changeAirportDisplay([&](AirportDisplay& d) {
        d.publisher = f.publisher;
        d.handmade = f.handmade;
        d.qualityText = qualityText;
    });
    // "Flush static" comes back with the parking controls once the
    // calculation that reads this file has ended.
    g_standsLoaded.store(true);
    g_airportAltitude_ft.set(code.empty() ? std::nullopt : std::optional<double>(f.altitude));
    gf_airportWindow().repaint();

    // 20. A hand-made file that gave no stand is named: it is the user's to
    // mend, and it is left as it was.
    if (!g_standList.empty()) return "";
    if (f.handmade) {
        g_fileAtFault = learned;
        return fmt::format("no stands found in '{}': none of its stands can be read, see Log.txt (the file is left "
                           "as it was)",
                           gf_pathToUtf8(learned));
    }
    return "no stands found";
}

}  // namespace

bool lf_sameStandOption(const StandOption& a, const StandOption& b) {
    return a.day == b.day && a.real == b.real && a.reg == b.reg && a.airline == b.airline && a.type == b.type &&
           (a.halfHours & b.halfHours) != 0;
}

bool lf_mergeLearnedStand(const std::string& id, pugi::xml_node parkpos, bool clearFlights, Stand& stand) {
    if (stand.id != id) return false;
    StandUseIndex uses(stand);
    std::vector<std::string> problems;
    return lf_mergeInto(parkpos, clearFlights, stand, uses, problems);
}

void lf_readLearned(const fs::path& learnedPath) {
    try {
        if (const std::string tooLarge = lf_tooLargeToRead(learnedPath); !tooLarge.empty()) {
            // Left as it is and never written over: the stand file's stands
            // are used meanwhile.
            const std::string pathText = gf_pathToUtf8(learnedPath);
            gf_logHighlight(fmt::format("{} not read: {}", pathText, tooLarge));
            g_parkAirportFile.learnedNotWhole = true;
            lf_addAirportNotice(fmt::format("{} is not read: {}; the stand file's stands are used{}", pathText, tooLarge,
                                            kSeeLearnedFiles));
            return;
        }
        pugi::xml_document document;
        std::string stray;
        const pugi::xml_parse_result result = gf_loadStandFile(learnedPath, document, &stray);
        if (!result) {
            const std::string why = result.status == pugi::status_file_not_found ||
                                            result.status == pugi::status_io_error
                                        ? gf_whyNotReadable(learnedPath)
                                        : std::string();
            if (why.empty()) {
                lf_keepUnreadableLearned(learnedPath, result);
            } else {
                lf_reportUnreadableLearned(learnedPath, why);
            }
            return;
        }
        if (!stray.empty()) lf_noticeStrayByte(gf_pathToUtf8(learnedPath), stray);
        gf_logLine(fmt::format("Read from learned airport file: '{}'", gf_pathToUtf8(learnedPath)));
        gf_logFlush();
        const auto meta = gf_readMeta(document, true);
        if (!meta) {
            // Nothing of it is used; written back, the user's file would be
            // replaced by what the stand file alone gives.
            lf_reportNotWhole(learnedPath, {"its header is not accepted, nothing of it is used"});
            return;
        }
        const bool clearFlights = gf_isNewerVersion(kFirstVersionWithKeptFlights, VersionData(meta->version));
        if (clearFlights) {
            gf_logLine("\nThis learned file was created with and older GLIM version than 11.10.0,");
            gf_logLine("All flights will be cleared, except for a handmade file\n");
        }
        const std::string name = gf_readStringParameter(document, "airport_name").value_or("");
        if (name != g_parkAirportFile.airport_name) {
            gf_setStatusLine(fmt::format("Warning: learned file airport name: '{}' differs from archived file airport "
                                         "name: '{}'",
                                         name, g_parkAirportFile.airport_name),
                             true);
        }
        std::vector<std::string> problems;
        lf_readLearnedSettings(document, problems);
        if (const auto handmade = gf_readStringParameter(document, "handmade")) {
            g_parkAirportFile.handmade = true;
            gf_clearStands();
            lf_readParkpositions(document, g_standList, &problems);
            // Its own name, altitude and publisher are the user's: a rewrite
            // keeps them, not the archived file's.
            g_standFileRead.ownAirportName = gf_readStringParameter(document, "airport_name");
            g_standFileRead.ownPublisher = gf_readStringParameter(document, "publisher");
            g_standFileRead.ownAltitude = lf_parameterInteger(document, "altitude", problems);
            // Nothing readable and nothing that says why (a misspelled
            // element): written back, the file would lose every stand the
            // user wrote. Stands with unusable values name themselves.
            if (g_standList.empty() && problems.empty()) {
                problems.insert(problems.begin(), "no stand of it can be read (stands are parkpos elements inside "
                                                  "parkpositions)");
            }
            for (std::string& problem : gf_misplacedStandEntries(document)) problems.push_back(std::move(problem));
            gf_logContinuation(fmt::format("{:24}: {}", "handmade", *handmade));
            lf_reportNotWhole(learnedPath, problems);
            return;
        }
        g_parkAirportFile.handmade = false;
        // Stands under a misspelled element: written back, the file would
        // lose them.
        for (std::string& problem : gf_misplacedStandEntries(document)) problems.push_back(std::move(problem));
        lf_readLearnedStands(document, learnedPath, clearFlights, problems);
        lf_reportNotWhole(learnedPath, problems);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("{}: {}", "lf_readLearned", e.what()));
        g_parkAirportFile.learnedNotWhole = true;
        if (g_standFileRead.whyNotWhole.empty()) g_standFileRead.whyNotWhole = e.what();
    }
}

void gf_numberStandsAndNeighbours(std::vector<Stand>& stands) {
    std::uint32_t number = 0;
    for (Stand& s : stands) {
        s.number = ++number;
        s.adjacent.clear();
    }
    const NeighbourGrid grid(stands);
    std::vector<std::uint32_t> seenBy(stands.size(), 0);
    for (std::size_t i = 0; i < stands.size(); ++i) {
        Stand& a = stands[i];
        const auto consider = [&](std::size_t j) {
            if (j == i || seenBy[j] == i + 1) return;
            seenBy[j] = static_cast<std::uint32_t>(i + 1);
            const Stand& b = stands[j];
            if (gf_distanceNm({a.latitude, a.longitude}, {b.latitude, b.longitude}) * kAdjacencyWidening <
                a.radius + b.radius) {
                a.adjacent.push_back(b.number);
            }
        };
        if (grid.isWide(i)) {
            for (std::size_t j = 0; j < stands.size(); ++j) consider(j);
        } else {
            grid.forEachInCover(i, consider);
            for (const std::size_t j : grid.wide()) consider(j);
        }
        // In list order, as a walk over the whole list gives them.
        std::sort(a.adjacent.begin(), a.adjacent.end());
        a.adjacent.shrink_to_fit();
    }
}

fs::path gf_standFileAtFault() { return g_fileAtFault; }

fs::path gf_prefetchPath() { return gf_workPaths().airports / "park_airport.xml"; }

void gf_setPrefetchedStandFile(std::string reference) {
    std::lock_guard lock(g_prefetchMutex);
    g_prefetchedReference = std::move(reference);
}

std::string gf_readApf(std::string_view reference) {
    if (reference.empty()) return fmt::format("{}: xml is empty", "gf_readApf");
    const auto current = g_currentAirport.get();
    const std::string code = current ? current->code : std::string();
    if (code.empty()) return fmt::format("{}: no park airport set", "gf_readApf");
    // A file without quality factors must not show those of the airport
    // read before it.
    g_parkAirportFile.quality = {};
    g_parkAirportFile.learnedNotWhole = false;
    gf_forgetStandFileRead();
    g_fileAtFault.clear();
    g_airportNotices.clear();
    gf_setAirportNotice({});
    try {
        return lf_readApfSteps(reference, code);
    } catch (const ozr::UserErrorException&) {
        throw;
    } catch (const std::exception& e) {
        return fmt::format("{}: {}", "gf_readApf", e.what());
    }
}

void gf_restoreAirportSettings() {
    const AirportSettingsBackup& b = g_parkAirportFile.backup;
    MAX_LIVE_SEL.setValue(MAX_LIVE_SEL.clamp(b.maxLiveSel));
    gf_saveNumberParameter(MAX_LIVE_SEL);
    gf_showComboValue(MAX_LIVE_SEL);
    MAX_FIT.setValue(MAX_FIT.clamp(b.maxFit));
    gf_saveNumberParameter(MAX_FIT);
    gf_showAirportMaxFit();
    gf_showAirportRange(RANGE.clamp(b.range));
    gf_saveNumberParameter(RANGE);
    // parking_percentage lives in the stand files, not in parameters.xml.
    parking_percentage.setValue(parking_percentage.clamp(b.parkingPercentage));
    gf_showComboValue(parking_percentage);
    AUTO_RANGE.setValue(b.autoRange);
    gf_saveBoolParameter(AUTO_RANGE);
    gf_showCheck(AUTO_RANGE);
    gf_enableSettingControl(RANGE, !b.autoRange);
    gf_enableSettingControl(AR_ABOVE_HEIGHT, b.autoRange);
    const std::pair<CheckBoxParameter*, bool> flags[] = {{&INITIAL_LOAD_ONLY, b.initialLoadOnly},
                                                         {&RT_PARKTRAFFIC_ONLY, b.rtParkTrafficOnly},
                                                         {&PARK_SOFT, b.parkSoft},
                                                         {&WEEK, b.week}};
    for (const auto& [setting, value] : flags) {
        setting->setValue(value);
        gf_saveBoolParameter(*setting);
        gf_showCheck(*setting);
    }
}

void gf_keepUnsavedUses(const fs::path& learnedPath, const std::vector<Stand>& stands) {
    UnsavedUses kept{learnedPath, {}};
    for (const Stand& stand : stands) {
        for (const StandOption& o : stand.options) {
            if (o.origin == 0) kept.uses.emplace_back(stand.id, o);
        }
    }
    std::erase_if(g_unsavedUses, [&](const UnsavedUses& u) { return u.path == learnedPath; });
    if (!kept.uses.empty()) g_unsavedUses.push_back(std::move(kept));
}

void gf_forgetUnsavedUses() { g_unsavedUses.clear(); }
