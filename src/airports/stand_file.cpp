#include "airports/stand_file.h"

#include "airports/hours_text.h"
#include "core/file_meta.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/text.h"
#include "core/user_error.h"
#include "core/version.h"

#include <charconv>
#include <cmath>
#include <span>
#include <fmt/format.h>
#include <unordered_set>

namespace fs = std::filesystem;

namespace {

StandRegistrationLookup g_registrationLookup;

constexpr double kRadToDegrees = 57.29577951308232;
constexpr double kDegreesToRad = 0.017453292519943295;
// The largest stand the .bgl decoder takes.
constexpr double kMaxStandRadius_m = 200.0;

bool lf_text(pugi::xml_node node, const char* name, std::string_view value) {
    return gf_appendAttributeText(node, name, value);
}

// The nine airport settings of a learned file, in the order they are written.
bool lf_writeAirportSettings(pugi::xml_node parameters) {
    bool ok = gf_appendIntParameterElement(parameters, RANGE.name(), RANGE.value());
    ok = gf_appendBoolParameterElement(parameters, AUTO_RANGE.name(), AUTO_RANGE.value()) && ok;
    ok = gf_appendBoolParameterElement(parameters, WEEK.name(), WEEK.value()) && ok;
    ok = gf_appendBoolParameterElement(parameters, PARK_SOFT.name(), PARK_SOFT.value()) && ok;
    ok = gf_appendIntParameterElement(parameters, parking_percentage.name(), parking_percentage.value()) && ok;
    ok = gf_appendBoolParameterElement(parameters, INITIAL_LOAD_ONLY.name(), INITIAL_LOAD_ONLY.value()) && ok;
    // MAX_FIT counts half-hour steps minus one.
    const auto maxFit = static_cast<std::int32_t>(std::lround(2.0 * MAX_FIT_FL.value())) - 1;
    ok = gf_appendIntParameterElement(parameters, MAX_FIT.name(), maxFit) && ok;
    ok = gf_appendBoolParameterElement(parameters, RT_PARKTRAFFIC_ONLY.name(), RT_PARKTRAFFIC_ONLY.value()) && ok;
    ok = gf_appendIntParameterElement(parameters, MAX_LIVE_SEL.name(), MAX_LIVE_SEL.value()) && ok;
    return ok;
}

bool lf_writeFullStand(pugi::xml_node parkpos, const Stand& s) {
    bool ok = lf_text(parkpos, "latitude", fmt::format("{:.6f}", s.latitude));
    ok = lf_text(parkpos, "longitude", fmt::format("{:.6f}", s.longitude)) && ok;
    ok = lf_text(parkpos, "heading", fmt::format("{:.1f}", s.heading * kRadToDegrees)) && ok;
    ok = lf_text(parkpos, "radius", fmt::format("{:.1f}", s.radius * kMetresPerNm)) && ok;
    if (s.heli) {
        ok = gf_appendAttribute(parkpos, "heli", true) && ok;
    } else {
        ok = gf_appendAttribute(parkpos, "cargo", s.cargo) && ok;
    }
    ok = gf_appendAttribute(parkpos, "ramp", s.ramp) && ok;
    if (s.manual) ok = gf_appendAttribute(parkpos, "manual", true) && ok;
    return ok;
}

bool lf_writeChanges(pugi::xml_node parkpos, const Stand& s) {
    bool ok = true;
    if (s.radius_change) {
        ok = gf_appendAttribute(parkpos, "radius_change", true) && ok;
        ok = lf_text(parkpos, "radius", fmt::format("{:.1f}", s.radius * kMetresPerNm)) && ok;
    }
    if (s.cargo_change) {
        ok = gf_appendAttribute(parkpos, "cargo_change", true) && ok;
        ok = gf_appendAttribute(parkpos, "cargo", s.cargo) && ok;
    }
    return ok;
}

bool lf_writeOptions(pugi::xml_node parkpos, const Stand& s) {
    bool ok = true;
    for (const StandOption& o : s.options) {
        if (o.index == 0) continue;
        const auto hours = gf_bitset2hours(o.halfHours);
        if (!hours) {
            gf_logHighlight(fmt::format("bit set problem: {} {} {}", o.reg, o.cs,
                                        fmt::format("{:3} {:4}", o.airline, o.type)));
            continue;
        }
        pugi::xml_node opt = parkpos.append_child("opt");
        if (!opt) return false;
        ok = lf_text(opt, "reg", o.reg) && ok;
        if (o.reg.empty() || !gf_lookupStandRegistration(o.reg)) {
            ok = lf_text(opt, "airl", o.airline) && ok;
            ok = lf_text(opt, "type", o.type) && ok;
        }
        if (o.real == 0) ok = gf_appendAttribute(opt, "soft", true) && ok;
        ok = lf_text(opt, "day", fmt::format("{}", o.day)) && ok;
        ok = lf_text(opt, "hh", *hours) && ok;
        if (!o.cs.empty()) ok = lf_text(opt, "cs", o.cs2.empty() ? o.cs : o.cs + ":" + o.cs2) && ok;
        if (o.cpl) ok = gf_appendAttribute(opt, "cpl", true) && ok;
    }
    return ok;
}

}  // namespace

void gf_setStandRegistrationLookup(StandRegistrationLookup lookup) { g_registrationLookup = std::move(lookup); }

std::optional<StandDbaseRecord> gf_lookupStandRegistration(std::string_view registration) {
    if (!g_registrationLookup) return std::nullopt;
    return g_registrationLookup(registration);
}

bool lf_writeParameters(pugi::xml_node root, const AirportFile& record, StandFileForm form, bool handmade) {
    pugi::xml_node parameters = root.append_child("parameters");
    if (!parameters) return false;
    bool ok = gf_appendTextParameterElement(parameters, "airport_name", record.airport_name);
    ok = gf_appendTextParameterElement(parameters, "publisher", record.publisher) && ok;
    if (handmade) ok = gf_appendTextParameterElement(parameters, "handmade", "true") && ok;
    if (handmade || form == StandFileForm::generated) {
        ok = gf_appendIntParameterElement(parameters, "altitude", record.altitude) && ok;
    }
    if (form == StandFileForm::generated) {
        ok = gf_appendTextParameterElement(parameters, "num_parkpos", fmt::format("{}", record.stands.size())) && ok;
    }
    if (handmade) {
        ok = gf_appendIntParameterElement(parameters, "Qf_real", record.Qf_real) && ok;
        ok = gf_appendIntParameterElement(parameters, "Qf_soft", record.Qf_soft) && ok;
    }
    if (record.publisher.empty()) ok = gf_appendTextParameterElement(parameters, "BGLpath", record.BGLpath) && ok;
    if (form == StandFileForm::learned) ok = lf_writeAirportSettings(parameters) && ok;
    return ok;
}

bool gf_writeAirportFile(const AirportFile& record, const fs::path& path, StandFileForm form,
                         std::uint32_t simVariant, bool handmade) {
    pugi::xml_document document;
    FileMeta meta;
    meta.version = g_programVersion.text();
    gf_setMetaSim(meta, simVariant);
    if (!gf_writeMeta(document, meta)) return false;
    pugi::xml_node root = document.child("root");
    if (!root) root = document.append_child("root");
    if (!root) return false;
    if (!lf_writeParameters(root, record, form, handmade)) return false;
    pugi::xml_node parkpositions = root.append_child("parkpositions");
    if (!parkpositions) return false;

    for (const Stand& s : record.stands) {
        pugi::xml_node parkpos = parkpositions.append_child("parkpos");
        if (!parkpos || !lf_text(parkpos, "id", s.id)) return false;
        bool ok = true;
        if (form == StandFileForm::generated || s.manual || handmade) {
            ok = lf_writeFullStand(parkpos, s);
        } else {
            ok = lf_writeChanges(parkpos, s);
        }
        if (form == StandFileForm::learned) ok = lf_writeOptions(parkpos, s) && ok;
        if (!ok) return false;
    }

    std::error_code ignored;
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), ignored);
    return gf_saveXmlDocument(document, path);
}

StandOption lf_readStandOption(pugi::xml_node opt) {
    StandOption o;
    const std::string cs = opt.attribute("cs").as_string();
    const std::size_t colon = cs.find(':');
    if (colon == std::string::npos) {
        o.cs = cs;
    } else {
        o.cs = cs.substr(0, colon);
        o.cs2 = cs.substr(colon + 1);
    }
    const std::string reg = opt.attribute("reg").as_string();
    std::optional<StandDbaseRecord> record;
    if (!reg.empty()) {
        try {
            record = gf_lookupStandRegistration(reg);
        } catch (const std::exception& e) {
            // The name in this line is the one the log has always shown.
            gf_logHighlight(fmt::format("{}: {}", "lf_readOptIdentity", e.what()));
        }
    }
    if (record) {
        o.airline = record->opr.empty() ? record->airline : record->opr;
        o.type = record->type;
    } else {
        o.airline = opt.attribute("airl").as_string();
        o.type = opt.attribute("type").as_string();
    }
    o.reg = reg;
    o.real = opt.attribute("soft").as_bool() ? 0 : 1;
    o.cpl = opt.attribute("cpl").as_bool();
    return o;
}

namespace {

// The names of the file form, by element.
constexpr std::string_view kParkposNames[] = {"id",     "latitude", "longitude", "heading",       "radius",
                                              "cargo",  "ramp",     "heli",      "manual",        "radius_change",
                                              "cargo_change"};
constexpr std::string_view kOptNames[] = {"reg", "airl", "type", "day", "hh", "cs", "soft", "cpl"};

// The file form's names are ASCII: no locale is involved.
char lf_asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool lf_sameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lf_asciiLower(a[i]) != lf_asciiLower(b[i])) return false;
    }
    return true;
}

// The text without the blanks, tabs and line ends around it; a view, as a
// file of many thousand stands reads every number through here.
std::string_view lf_trimmed(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

void lf_problem(std::vector<std::string>* problems, std::string message) {
    if (problems) problems->push_back(std::move(message));
}

// Why a number attribute cannot be used, or empty; value is 0 when it is
// absent and not required.
std::string lf_numberSlip(pugi::xml_node element, const char* name, bool required, double& value) {
    value = 0.0;
    const pugi::xml_attribute attribute = element.attribute(name);
    if (!attribute) return required ? fmt::format("{} is missing", name) : std::string();
    const std::optional<double> read = gf_wholeNumber(attribute.value());
    if (!read) return fmt::format("{} \"{}\" is not a number", name, attribute.value());
    value = *read;
    return {};
}

// A stand's numbers as the traffic can use them: the checks the .bgl decoder
// makes of the same values. A stand file is input from outside too, and a
// cut, NaN or huge value would move the stand or reach the traffic's
// geometry and the neighbour search. Empty when all are usable.
std::string lf_standNumbersSlip(pugi::xml_node parkpos, StandPlace& place, double& radius_m) {
    double hdg_deg = 0.0;
    std::string slip = lf_numberSlip(parkpos, "latitude", true, place.lat_deg);
    if (slip.empty()) slip = lf_numberSlip(parkpos, "longitude", true, place.lon_deg);
    if (slip.empty()) slip = lf_numberSlip(parkpos, "heading", false, hdg_deg);
    // A stand without a size holds no aircraft; the program's own files
    // always give it (the manual stands of a learned file need it too).
    if (slip.empty()) slip = lf_numberSlip(parkpos, "radius", true, radius_m);
    if (!slip.empty()) return slip;
    if (place.lat_deg < -90.0 || place.lat_deg > 90.0) {
        return fmt::format("latitude \"{}\" is outside -90..90", parkpos.attribute("latitude").value());
    }
    if (place.lon_deg < -180.0 || place.lon_deg > 180.0) {
        return fmt::format("longitude \"{}\" is outside -180..180", parkpos.attribute("longitude").value());
    }
    if (!gf_usableStandRadius(radius_m)) {
        return fmt::format("radius \"{}\" is outside 0 to under {} m", parkpos.attribute("radius").value(),
                           kMaxStandRadius_m);
    }
    place.hdg_rad = hdg_deg * kDegreesToRad;
    return {};
}

std::vector<StandOption> lf_readStandOptions(pugi::xml_node parkpos, const std::string& id, std::uint32_t origin,
                                             std::vector<std::string>* problems) {
    std::vector<StandOption> options;
    options.reserve(static_cast<std::size_t>(std::distance(parkpos.children("opt").begin(),
                                                           parkpos.children("opt").end())));
    for (pugi::xml_node opt : parkpos.children("opt")) {
        if (const std::string slip = gf_attributeNameSlip(opt); !slip.empty()) {
            lf_problem(problems, fmt::format("Parking position '{}': a use is not used, {}.", id, slip));
            continue;
        }
        const std::string hh = opt.attribute("hh").as_string();
        // "3x" is no day: read as 3, the close would write the cut value back.
        const std::optional<std::int64_t> day = gf_wholeInteger(opt.attribute("day").as_string());
        if (hh.empty() || !day || *day < 1 || *day > 7) {
            lf_problem(problems,
                       fmt::format("Parking position '{}': a use without hours or a day 1..7 is not used.", id));
            continue;
        }
        StandOption o = lf_readStandOption(opt);
        o.halfHours = gf_hours2bitset(hh);
        // Taken, but the writer has no text for such a set and would leave
        // the use out of the file.
        if (!gf_bitset2hours(o.halfHours)) {
            lf_problem(problems, fmt::format("Parking position '{}': the use with hours \"{}\" cannot be written back.",
                                             id, hh));
        }
        o.index = static_cast<std::uint32_t>(options.size() + 1);
        o.day = static_cast<std::uint32_t>(*day);
        o.origin = origin;
        options.push_back(std::move(o));
    }
    return options;
}

}  // namespace

std::optional<double> gf_wholeNumber(std::string_view text) {
    std::string_view digits = lf_trimmed(text);
    const bool plus = !digits.empty() && digits.front() == '+';
    if (plus) digits.remove_prefix(1);
    // The conversion below also takes "inf" and "nan", and after a '+' it
    // would take a second sign.
    const bool minus = !digits.empty() && digits.front() == '-';
    const std::size_t first = minus ? 1 : 0;
    if ((plus && minus) || digits.size() <= first ||
        !((digits[first] >= '0' && digits[first] <= '9') || digits[first] == '.')) {
        return std::nullopt;
    }
    double value = 0.0;
    const char* last = digits.data() + digits.size();
    const auto [end, ec] = std::from_chars(digits.data(), last, value, std::chars_format::general);
    if (ec != std::errc() || end != last || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<std::int64_t> gf_wholeInteger(std::string_view text) {
    std::string_view digits = lf_trimmed(text);
    const bool plus = !digits.empty() && digits.front() == '+';
    if (plus) digits.remove_prefix(1);
    if (digits.empty() || digits.front() == '+' || (plus && digits.front() == '-')) return std::nullopt;
    std::int64_t value = 0;
    const char* last = digits.data() + digits.size();
    const auto [end, ec] = std::from_chars(digits.data(), last, value);
    if (ec != std::errc() || end != last) return std::nullopt;
    return value;
}

std::string gf_attributeNameSlip(pugi::xml_node element) {
    const bool opt = std::string_view(element.name()) == "opt";
    for (pugi::xml_attribute attribute : element.attributes()) {
        const std::string_view name = attribute.name();
        for (const std::string_view right : opt ? std::span<const std::string_view>(kOptNames)
                                                : std::span<const std::string_view>(kParkposNames)) {
            if (name != right && lf_sameLetters(name, right)) return fmt::format("'{}' should be '{}'", name, right);
        }
    }
    return {};
}

bool gf_usableStandRadius(double radius_m) {
    return std::isfinite(radius_m) && radius_m >= 0.0 && radius_m < kMaxStandRadius_m;
}

namespace {

// One stand. What a stand file holds by design goes to dropped rather than
// problems: a stand at 0/0 (an entry without a place) and uses without hours
// or day, which the program drops; a stand file's uses are never written
// back, so those are no slips for the user to mend.
bool lf_readStand(pugi::xml_node parkpos, const std::string& id, std::uint32_t origin, std::vector<Stand>& stands,
                  std::vector<std::string>* problems, std::vector<std::string>* dropped) {
    std::string slip = gf_attributeNameSlip(parkpos);
    StandPlace place;
    double radius_m = 0.0;
    if (slip.empty()) {
        // Without a position, or at 0/0, the entry is no stand.
        const pugi::xml_attribute lat = parkpos.attribute("latitude");
        const pugi::xml_attribute lon = parkpos.attribute("longitude");
        if ((!lat && !lon) || (gf_wholeNumber(lat.value()) == 0.0 && gf_wholeNumber(lon.value()) == 0.0)) {
            lf_problem(dropped, fmt::format("Parking position '{}' has no position and is not used.", id));
            return false;
        }
        slip = lf_standNumbersSlip(parkpos, place, radius_m);
    }
    if (!slip.empty()) {
        if (!problems) gf_logHighlight(fmt::format("parkpos {} skipped: {}", id, slip));
        lf_problem(problems, fmt::format("Parking position '{}': {}; the stand is not used.", id, slip));
        return false;
    }
    const bool cargo = parkpos.attribute("cargo").as_bool();
    const bool ramp = parkpos.attribute("ramp").as_bool();
    const bool heli = parkpos.attribute("heli").as_bool();
    std::vector<StandOption> options = lf_readStandOptions(parkpos, id, origin, dropped);
    stands.emplace_back(id, std::move(options), place, radius_m, cargo, ramp, heli);
    return true;
}

}  // namespace

bool lf_readParkpos(pugi::xml_node parkpos, const std::string& id, std::uint32_t origin, std::vector<Stand>& stands,
                    std::vector<std::string>* problems) {
    return lf_readStand(parkpos, id, origin, stands, problems, problems);
}

void lf_readParkpositions(const pugi::xml_document& document, std::vector<Stand>& stands,
                          std::vector<std::string>* problems, std::string_view idStopsIn) {
    const pugi::xml_node parkpositions = gf_rootChild(document, "parkpositions");
    if (!parkpositions) return;
    std::unordered_set<std::string> seen;
    seen.reserve(512);
    std::size_t number = 0;
    // A stand file's messages name the file: the run stops on them, and the
    // user must find which of many stand files to mend.
    const auto bad = [&](int code, std::string message) {
        if (!idStopsIn.empty()) {
            message.pop_back();  // the full stop, which now ends the sentence after the file
            throw ozr::UserErrorException(code, fmt::format("{} in {}.", message, idStopsIn));
        }
        if (!problems) throw ozr::UserErrorException(code, message);
        problems->push_back(std::move(message));
    };
    for (pugi::xml_node parkpos : parkpositions.children("parkpos")) {
        ++number;
        const pugi::xml_attribute idAttribute = parkpos.attribute("id");
        if (!idAttribute) {
            bad(93, fmt::format("Parking position #{} has no '{}' attribute.", number, "id"));
            continue;
        }
        const std::string id = gf_trim(idAttribute.as_string());
        if (id.empty()) {
            bad(93, fmt::format("Parking position #{} has empty '{}' attribute.", number, "id"));
            continue;
        }
        if (!seen.insert(id).second) {
            bad(94, fmt::format("Parking position '{}' appears more than once.", id));
            continue;
        }
        lf_readStand(parkpos, id, 1, stands, problems, idStopsIn.empty() ? problems : nullptr);
    }
}

fs::path gf_xmlNameOf(std::string_view code) { return fs::path(std::string(code) + ".xml"); }
fs::path gf_txtNameOf(std::string_view code) { return fs::path(std::string(code) + ".txt"); }
