#include "airports/stand_file.h"

#include "airports/hours_text.h"
#include "core/file_meta.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/text.h"
#include "core/user_error.h"
#include "core/version.h"

#include <cmath>
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

// A stand's numbers as the traffic can use them: the checks the .bgl decoder
// makes of the same values. A stand file is input from outside too, and a NaN
// or a huge radius would reach the traffic's geometry and the neighbour
// search.
bool lf_usableStandNumbers(double lat, double lon, double hdg_deg, double radius_m) {
    return std::isfinite(lat) && std::isfinite(lon) && std::isfinite(hdg_deg) && lat >= -90.0 && lat <= 90.0 &&
           lon >= -180.0 && lon <= 180.0 && gf_usableStandRadius(radius_m);
}

void lf_problem(std::vector<std::string>* problems, std::string message) {
    if (problems) problems->push_back(std::move(message));
}

std::vector<StandOption> lf_readStandOptions(pugi::xml_node parkpos, const std::string& id, std::uint32_t origin,
                                             std::vector<std::string>* problems) {
    std::vector<StandOption> options;
    options.reserve(static_cast<std::size_t>(std::distance(parkpos.children("opt").begin(),
                                                           parkpos.children("opt").end())));
    for (pugi::xml_node opt : parkpos.children("opt")) {
        const std::string hh = opt.attribute("hh").as_string();
        const std::uint32_t day = opt.attribute("day").as_uint();
        if (hh.empty() || day < 1 || day > 7) {
            lf_problem(problems, fmt::format("Parking position '{}': a use without hours or a day 1..7 is not used.", id));
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
        o.day = day;
        o.origin = origin;
        options.push_back(std::move(o));
    }
    return options;
}

}  // namespace

bool gf_usableStandRadius(double radius_m) {
    return std::isfinite(radius_m) && radius_m >= 0.0 && radius_m < kMaxStandRadius_m;
}

bool lf_readParkpos(pugi::xml_node parkpos, const std::string& id, std::uint32_t origin, std::vector<Stand>& stands,
                    std::vector<std::string>* problems) {
    const double lat = parkpos.attribute("latitude").as_double();
    const double lon = parkpos.attribute("longitude").as_double();
    if (lat == 0.0 && lon == 0.0) {
        lf_problem(problems, fmt::format("Parking position '{}' has no position and is not used.", id));
        return false;
    }
    const double radius_m = parkpos.attribute("radius").as_double();
    const double hdg_deg = parkpos.attribute("heading").as_double();
    if (!lf_usableStandNumbers(lat, lon, hdg_deg, radius_m)) {
        gf_logHighlight(fmt::format("parkpos {} skipped: latitude {} longitude {} heading {} radius {}", id,
                                    parkpos.attribute("latitude").as_string(), parkpos.attribute("longitude").as_string(),
                                    parkpos.attribute("heading").as_string(), parkpos.attribute("radius").as_string()));
        lf_problem(problems, fmt::format("Parking position '{}' has an unusable position, heading or radius and is not "
                                         "used.",
                                         id));
        return false;
    }
    const double hdg_rad = hdg_deg * kDegreesToRad;
    const bool cargo = parkpos.attribute("cargo").as_bool();
    const bool ramp = parkpos.attribute("ramp").as_bool();
    const bool heli = parkpos.attribute("heli").as_bool();
    std::vector<StandOption> options = lf_readStandOptions(parkpos, id, origin, problems);
    stands.emplace_back(id, std::move(options), StandPlace{lat, lon, hdg_rad}, radius_m, cargo, ramp, heli);
    return true;
}

void lf_readParkpositions(const pugi::xml_document& document, std::vector<Stand>& stands,
                          std::vector<std::string>* problems) {
    const pugi::xml_node parkpositions = gf_rootChild(document, "parkpositions");
    if (!parkpositions) return;
    std::unordered_set<std::string> seen;
    seen.reserve(512);
    std::size_t number = 0;
    const auto bad = [problems](int code, std::string message) {
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
        lf_readParkpos(parkpos, id, 1, stands, problems);
    }
}

fs::path gf_xmlNameOf(std::string_view code) { return fs::path(std::string(code) + ".xml"); }
fs::path gf_txtNameOf(std::string_view code) { return fs::path(std::string(code) + ".txt"); }
