#include "airports/stand_file.h"

#include "airports/hours_text.h"
#include "core/file_meta.h"
#include "core/files.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/status_line.h"
#include "core/text.h"
#include "core/text_encoding.h"
#include "core/user_error.h"
#include "core/version.h"

#include <charconv>
#include <cmath>
#include <span>
#include <fmt/format.h>
#include <fstream>
#include <sstream>
#include <unordered_map>
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
bool lf_writeAirportSettings(pugi::xml_node parameters, const LearnedSettings& v) {
    bool ok = gf_appendIntParameterElement(parameters, RANGE.name(), v.range);
    ok = gf_appendBoolParameterElement(parameters, AUTO_RANGE.name(), v.autoRange) && ok;
    ok = gf_appendBoolParameterElement(parameters, WEEK.name(), v.week) && ok;
    ok = gf_appendBoolParameterElement(parameters, PARK_SOFT.name(), v.parkSoft) && ok;
    ok = gf_appendIntParameterElement(parameters, parking_percentage.name(), v.parkingPercentage) && ok;
    ok = gf_appendBoolParameterElement(parameters, INITIAL_LOAD_ONLY.name(), v.initialLoadOnly) && ok;
    ok = gf_appendIntParameterElement(parameters, MAX_FIT.name(), v.maxFit) && ok;
    ok = gf_appendBoolParameterElement(parameters, RT_PARKTRAFFIC_ONLY.name(), v.rtParkTrafficOnly) && ok;
    ok = gf_appendIntParameterElement(parameters, MAX_LIVE_SEL.name(), v.maxLiveSel) && ok;
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

// The uses read from a file, by stand and by what makes two uses the same
// (day, kind, registration, airline, type), each with its half hours. A use
// is still there when one of the same stand and kind holds all its half
// hours: the traffic lengthens a use and adds its callsigns, it never
// shortens one.
class UsesByStand {
public:
    void add(const std::string& standId, const StandOption& o) { m_hours[keyOf(standId, o)].push_back(o.halfHours); }
    // One of them holds every half hour of o.
    bool covers(const std::string& standId, const StandOption& o) const {
        return any(standId, o, [&](std::uint64_t hours) { return (o.halfHours & ~hours) == 0; });
    }
    // o holds every half hour of one of them.
    bool coveredBy(const std::string& standId, const StandOption& o) const {
        return any(standId, o, [&](std::uint64_t hours) { return (hours & ~o.halfHours) == 0; });
    }

private:
    template <typename F>
    bool any(const std::string& standId, const StandOption& o, F test) const {
        const auto it = m_hours.find(keyOf(standId, o));
        return it != m_hours.end() && std::any_of(it->second.begin(), it->second.end(), test);
    }
    // An XML attribute never holds a NUL, so the parts cannot run together.
    static std::string keyOf(const std::string& standId, const StandOption& o) {
        std::string key = standId;
        key.push_back('\0');
        key.append(o.reg).push_back('\0');
        key.append(o.airline).push_back('\0');
        key.append(o.type).push_back('\0');
        key.append(std::to_string(o.day)).push_back(o.real != 0 ? 'r' : 's');
        return key;
    }
    std::unordered_map<std::string, std::vector<std::uint64_t>> m_hours;
};

// The uses of the stands read from a file, indexed when first asked: most
// writes never ask (the traffic set no use aside).
class ReadUses {
public:
    explicit ReadUses(const std::vector<Stand>& stands) : m_stands(stands) {}
    bool coveredBy(const std::string& standId, const StandOption& o) const {
        if (!m_uses) {
            m_uses.emplace();
            for (const Stand& s : m_stands) {
                for (const StandOption& read : s.options) m_uses->add(s.id, read);
            }
        }
        return m_uses->coveredBy(standId, o);
    }

private:
    const std::vector<Stand>& m_stands;
    mutable std::optional<UsesByStand> m_uses;
};

// One use in the file form; false only when a node could not be made. A use
// whose half hours have no text is logged and left out (appended false).
bool lf_appendOption(pugi::xml_node parkpos, const StandOption& o, bool& appended) {
    appended = false;
    const auto hours = gf_bitset2hours(o.halfHours);
    if (!hours) {
        gf_logHighlight(fmt::format("bit set problem: {} {} {}", o.reg, o.cs,
                                    fmt::format("{:3} {:4}", o.airline, o.type)));
        return true;
    }
    pugi::xml_node opt = parkpos.append_child("opt");
    if (!opt) return false;
    bool ok = lf_text(opt, "reg", o.reg);
    if (o.reg.empty() || !gf_lookupStandRegistration(o.reg)) {
        ok = lf_text(opt, "airl", o.airline) && ok;
        ok = lf_text(opt, "type", o.type) && ok;
    }
    if (o.real == 0) ok = gf_appendAttribute(opt, "soft", true) && ok;
    ok = lf_text(opt, "day", fmt::format("{}", o.day)) && ok;
    ok = lf_text(opt, "hh", *hours) && ok;
    // A second callsign alone is kept too (cs=":XYZ45").
    if (!o.cs.empty() || !o.cs2.empty()) {
        ok = lf_text(opt, "cs", o.cs2.empty() ? o.cs : o.cs + ":" + o.cs2) && ok;
    }
    if (o.cpl) ok = gf_appendAttribute(opt, "cpl", true) && ok;
    appended = ok;
    return ok;
}

// keep: the uses read from the file being replaced. An option the traffic
// set aside for this visit (index 0) is not written, unless the file held
// it: a use the user's file holds stays in it.
bool lf_writeOptions(pugi::xml_node parkpos, const Stand& s, const ReadUses* keep) {
    bool ok = true;
    for (const StandOption& o : s.options) {
        if (o.index == 0 && !(keep && keep->coveredBy(s.id, o))) continue;
        bool appended = false;
        ok = lf_appendOption(parkpos, o, appended) && ok;
    }
    return ok;
}

struct BuildInput {
    const AirportFile& record;
    StandFileForm form;
    std::uint32_t simVariant;
    bool handmade;
    const LearnedSettings& settings;
    const ReadUses* keep;          // uses read from the file being replaced
    pugi::xml_node unplaced;       // its entries that could not be placed, written as they were
};

bool lf_buildDocument(pugi::xml_document& document, const BuildInput& in) {
    FileMeta meta;
    meta.version = g_programVersion.text();
    gf_setMetaSim(meta, in.simVariant);
    if (!gf_writeMeta(document, meta)) return false;
    pugi::xml_node root = document.child("root");
    if (!root) root = document.append_child("root");
    if (!root) return false;
    if (!lf_writeParameters(root, in.record, in.form, in.handmade, in.settings)) return false;
    pugi::xml_node parkpositions = root.append_child("parkpositions");
    if (!parkpositions) return false;

    for (const Stand& s : in.record.stands) {
        pugi::xml_node parkpos = parkpositions.append_child("parkpos");
        if (!parkpos || !lf_text(parkpos, "id", s.id)) return false;
        bool ok = true;
        if (in.form == StandFileForm::generated || s.manual || in.handmade) {
            ok = lf_writeFullStand(parkpos, s);
        } else {
            ok = lf_writeChanges(parkpos, s);
        }
        if (in.form == StandFileForm::learned) ok = lf_writeOptions(parkpos, s, in.keep) && ok;
        if (!ok) return false;
    }
    for (pugi::xml_node entry : in.unplaced.children()) {
        if (!parkpositions.append_copy(entry)) return false;
    }
    return true;
}

// The text gf_saveXmlDocument writes: the declaration, two-blank indent.
std::string lf_documentText(pugi::xml_document& document) {
    gf_setXmlDeclaration(document);
    std::ostringstream out;
    document.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
    return out.str();
}

// ---- The door ----

struct WrittenStand {
    bool manual = false;
    bool radiusChange = false;
    bool cargoChange = false;
};

std::string lf_useText(const std::string& standId, const StandOption& o) {
    return fmt::format("the use of stand '{}' by '{}' ({} {}) on day {}", standId, o.reg, o.airline, o.type, o.day);
}

// What of the file read the document leaves out: how many entries, and the
// first of them in words.
std::pair<std::size_t, std::string> lf_leftOut(const pugi::xml_document& document, const StandFileReadRecord& read) {
    std::unordered_set<std::string> readIds;
    readIds.reserve(read.asRead.stands.size());
    for (const Stand& s : read.asRead.stands) readIds.insert(s.id);
    std::unordered_map<std::string, WrittenStand> written;
    UsesByStand writtenUses;
    for (pugi::xml_node parkpos : gf_rootChild(document, "parkpositions").children("parkpos")) {
        const std::string id = parkpos.attribute("id").as_string();
        written[id] = {parkpos.attribute("manual").as_bool(), parkpos.attribute("radius_change").as_bool(),
                       parkpos.attribute("cargo_change").as_bool()};
        // The entries kept as they were are not the program's to read.
        if (!readIds.count(id)) continue;
        for (pugi::xml_node opt : parkpos.children("opt")) {
            StandOption o = lf_readStandOption(opt);
            o.day = opt.attribute("day").as_uint();
            o.halfHours = gf_hours2bitset(opt.attribute("hh").as_string());
            writtenUses.add(id, o);
        }
    }
    std::size_t count = 0;
    std::string first;
    const auto missing = [&](std::string what) {
        if (count++ == 0) first = std::move(what);
    };
    for (const Stand& s : read.asRead.stands) {
        const auto it = written.find(s.id);
        if (it == written.end()) {
            missing(fmt::format("the stand '{}'", s.id));
            continue;
        }
        if ((s.manual && !it->second.manual) || (s.radius_change && !it->second.radiusChange) ||
            (s.cargo_change && !it->second.cargoChange)) {
            missing(fmt::format("a correction of the stand '{}'", s.id));
        }
        for (const StandOption& o : s.options) {
            if (!writtenUses.covers(s.id, o)) missing(lf_useText(s.id, o));
        }
    }
    for (pugi::xml_node entry : read.unplaced.children()) {
        const std::string id = entry.attribute("id").as_string();
        if (!written.count(id)) missing(fmt::format("the entry '{}' kept unused", id));
    }
    return {count, first};
}

StandFileWriteResult lf_refused(std::string why) { return {StandFileWrite::refused, std::move(why)}; }

// The user's own file, replaced for the first time by the program's form
// (which drops comments, unknown elements and attributes), is kept as it
// was beside it.
bool lf_keepOriginal(const fs::path& path, std::string& why) {
    const fs::path copy = gf_originalCopyName(path);
    std::error_code ec;
    if (!fs::exists(path, ec)) return true;
    // An empty copy of a file that is not empty is no copy (one cut short by
    // an older version on a full disk): it is made again.
    if (fs::exists(copy, ec) && !(fs::file_size(copy, ec) == 0 && fs::file_size(path, ec) > 0)) return true;
    if (!gf_copyFileWhole(path, copy, ec)) {
        why = fmt::format("its original could not be kept as '{}': {}", gf_pathToUtf8(copy.filename()),
                          gf_writeFailureText(copy, ec));
        return false;
    }
    const std::string text = fmt::format("'{}' is rewritten by the program for the first time: your original is kept "
                                         "as '{}'",
                                         gf_pathToUtf8(path), gf_pathToUtf8(copy.filename()));
    gf_setStatusLine(text, true);
    return true;
}

StandFileWriteResult lf_build(pugi::xml_document& document, const BuildInput& in) {
    if (!lf_buildDocument(document, in)) return {StandFileWrite::failed, "the document could not be built"};
    return {StandFileWrite::saved, {}};
}

}  // namespace

bool gf_keepOriginalOnce(const fs::path& path, std::string& why) { return lf_keepOriginal(path, why); }

bool gf_appendStandOption(pugi::xml_node parkpos, const StandOption& o) {
    bool appended = false;
    return lf_appendOption(parkpos, o, appended) && appended;
}

bool gf_appendParkposAttributes(pugi::xml_node parkpos, const Stand& s, bool full) {
    if (!lf_text(parkpos, "id", s.id)) return false;
    return full ? lf_writeFullStand(parkpos, s) : lf_writeChanges(parkpos, s);
}

void gf_setStandRegistrationLookup(StandRegistrationLookup lookup) { g_registrationLookup = std::move(lookup); }

std::optional<StandDbaseRecord> gf_lookupStandRegistration(std::string_view registration) {
    if (!g_registrationLookup) return std::nullopt;
    return g_registrationLookup(registration);
}

LearnedSettings gf_currentLearnedSettings() {
    LearnedSettings v;
    v.range = RANGE.value();
    v.autoRange = AUTO_RANGE.value();
    v.week = WEEK.value();
    v.parkSoft = PARK_SOFT.value();
    v.parkingPercentage = parking_percentage.value();
    v.initialLoadOnly = INITIAL_LOAD_ONLY.value();
    // MAX_FIT counts half-hour steps minus one.
    v.maxFit = static_cast<std::int32_t>(std::lround(2.0 * MAX_FIT_FL.value())) - 1;
    v.rtParkTrafficOnly = RT_PARKTRAFFIC_ONLY.value();
    v.maxLiveSel = MAX_LIVE_SEL.value();
    return v;
}

bool lf_writeParameters(pugi::xml_node root, const AirportFile& record, StandFileForm form, bool handmade,
                        const LearnedSettings& settings) {
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
    if (form == StandFileForm::learned) ok = lf_writeAirportSettings(parameters, settings) && ok;
    return ok;
}

StandFileReadRecord g_standFileRead;

void gf_forgetStandFileRead() {
    g_standFileRead.path.clear();
    g_standFileRead.found = false;
    g_standFileRead.whole = true;
    g_standFileRead.whyNotWhole.clear();
    g_standFileRead.handmade = false;
    g_standFileRead.asRead = {};
    g_standFileRead.settings = {};
    g_standFileRead.unplaced.reset();
    g_standFileRead.unplacedCount = 0;
    g_standFileRead.ownAirportName.reset();
    g_standFileRead.ownPublisher.reset();
    g_standFileRead.ownAltitude.reset();
    g_standFileRead.diskBytes.reset();
    g_standFileRead.diskTime = {};
}

fs::path gf_originalCopyName(const fs::path& path) {
    return path.parent_path() / fs::u8path(gf_pathToUtf8(path.stem()) + ".original" + gf_pathToUtf8(path.extension()));
}

std::vector<std::string> gf_misplacedStandEntries(const pugi::xml_document& document) {
    std::vector<std::pair<std::string, std::size_t>> inside, beside;  // name, count, in document order
    const auto count = [](std::vector<std::pair<std::string, std::size_t>>& names, const char* name) {
        const auto it = std::find_if(names.begin(), names.end(), [&](const auto& n) { return n.first == name; });
        if (it == names.end()) {
            names.emplace_back(name, 1);
        } else {
            ++it->second;
        }
    };
    for (pugi::xml_node child : gf_rootChild(document, "parkpositions").children()) {
        if (child.type() == pugi::node_element && std::string_view(child.name()) != "parkpos") count(inside, child.name());
    }
    pugi::xml_node root = document.child("root");
    if (!root) root = document;
    for (pugi::xml_node child : root.children()) {
        if (child.type() != pugi::node_element || !child.find_child([](pugi::xml_node n) {
                return n.type() == pugi::node_element;
            })) {
            continue;
        }
        const std::string_view name = child.name();
        if (name != "root" && name != "meta" && name != "parameters" && name != "parkpositions") {
            count(beside, child.name());
        }
    }
    std::vector<std::string> problems;
    for (const auto& [name, n] : inside) {
        problems.push_back(fmt::format("{} element{} <{}> inside parkpositions {} not a stand (parkpos) and {} not used",
                                       n, n == 1 ? "" : "s", name, n == 1 ? "is" : "are", n == 1 ? "is" : "are"));
    }
    for (const auto& [name, n] : beside) {
        problems.push_back(fmt::format("the element <{}> is not read (stands are parkpos elements inside parkpositions)",
                                       name));
    }
    return problems;
}

namespace {

// What the bytes of a text say of UTF-8: how many valid sequences of more
// than one byte it holds, and where its first byte is that belongs to none.
struct Utf8Survey {
    std::size_t sequences = 0;
    std::size_t firstStray = std::string_view::npos;
};

Utf8Survey lf_surveyUtf8(std::string_view text) {
    Utf8Survey survey;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = byte(i);
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;  // the second byte's range
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) length = 2;
        if (lead >= 0xE0 && lead <= 0xEF) length = 3;
        if (lead >= 0xF0 && lead <= 0xF4) length = 4;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
        bool valid = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const unsigned char c = byte(i + k);
            valid = k == 1 ? (c >= low && c <= high) : (c >= 0x80 && c <= 0xBF);
        }
        if (!valid) {
            if (survey.firstStray == std::string_view::npos) survey.firstStray = i;
            ++i;
            continue;
        }
        ++survey.sequences;
        i += length;
    }
    return survey;
}

}  // namespace

bool gf_standTextIsUtf8(std::string_view text) {
    const Utf8Survey survey = lf_surveyUtf8(text);
    return survey.firstStray == std::string_view::npos || survey.sequences > 0;
}

std::string gf_whyNotReadable(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) return ec.message();
    if (!fs::exists(status)) return "it was not found";
    if (fs::is_directory(status)) return "it is a folder, not a file";
    std::ifstream in(path, std::ios::binary);
    if (in.is_open()) return {};
    // Windows refuses to open a file another program holds open without
    // sharing it (an editor, a backup or a virus scan): the file is fine.
    return "it is in use by another program (it could not be opened)";
}

pugi::xml_parse_result gf_loadStandFile(const fs::path& path, pugi::xml_document& document, std::string* strayByte) {
    if (strayByte) strayByte->clear();
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        pugi::xml_parse_result folder;
        folder.status = pugi::status_io_error;
        return folder;
    }
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff length = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (length < 0) return document.load_file(path.c_str());  // the parser's own "file not found"
    // Read into the parser's own memory, which it then parses in place: a
    // stand file of many megabytes is not copied.
    const auto size = static_cast<std::size_t>(length);
    char* buffer = static_cast<char*>(pugi::get_memory_allocation_function()(size == 0 ? 1 : size));
    if (!buffer) return document.load_file(path.c_str());
    in.seekg(0);
    if (!in.read(buffer, length)) {
        pugi::get_memory_deallocation_function()(buffer);
        return document.load_file(path.c_str());
    }
    const std::string_view text(buffer, size);
    // A byte-order mark or UTF-16 is the parser's to detect.
    const Charset charset = gf_detectCharsetOfText(text);
    if (charset == Charset::Unicode || charset == Charset::Unicode_big_endian || charset == Charset::UTF8_with_BOM) {
        return document.load_buffer_inplace_own(buffer, size, pugi::parse_default, pugi::encoding_auto);
    }
    const Utf8Survey survey = lf_surveyUtf8(text);
    // ASCII, or letters written in UTF-8: read as UTF-8, whatever the
    // declaration says. Only a text of single bytes above ASCII and nothing
    // else (a Windows-1252 editor) is read in the ANSI code page.
    if (gf_standTextIsUtf8(text)) {
        if (strayByte && survey.firstStray != std::string_view::npos) {
            const std::size_t line = 1 + static_cast<std::size_t>(
                                             std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(
                                                                                         survey.firstStray),
                                                        '\n'));
            *strayByte = fmt::format("line {}, byte 0x{:02X}", line,
                                     static_cast<unsigned char>(text[survey.firstStray]));
        }
        return document.load_buffer_inplace_own(buffer, size, pugi::parse_default, pugi::encoding_utf8);
    }
    const std::string utf8 = gf_ansiToUtf8(text);
    pugi::get_memory_deallocation_function()(buffer);
    return document.load_buffer(utf8.data(), utf8.size(), pugi::parse_default, pugi::encoding_utf8);
}

StandFileWriteResult gf_standFileDoor(pugi::xml_document& document, const fs::path& path,
                                      const StandFileReadRecord* read, bool userAsked) {
    const bool fromFile = read && read->found;
    if (fromFile && !userAsked && !read->whole) {
        return lf_refused(read->whyNotWhole.empty() ? std::string("it did not read whole")
                                                    : fmt::format("it did not read whole: {}", read->whyNotWhole));
    }
    const std::string text = lf_documentText(document);
    if (gf_detectCharsetOfText(text) != Charset::UTF8_without_BOM) {
        return lf_refused("what would be written is not valid UTF-8");
    }
    if (fromFile) {
        // What the file would say is what it said: the user's own form,
        // comments and all, stays byte for byte.
        pugi::xml_document asRead;
        const ReadUses keep(read->asRead.stands);
        const std::uint32_t sim = gf_readMeta(document, true).value_or(FileMeta{}).sim;
        if (lf_build(asRead, {read->asRead, StandFileForm::learned, sim, read->handmade, read->settings, &keep,
                              read->unplaced})
                    .outcome == StandFileWrite::saved &&
            lf_documentText(asRead) == text) {
            return {StandFileWrite::unchanged, {}};
        }
        if (!userAsked) {
            const auto [count, first] = lf_leftOut(document, *read);
            if (count > 0) {
                return lf_refused(fmt::format("it would lose {} entr{} read from it ({}{})", count,
                                              count == 1 ? "y" : "ies", first, count > 1 ? ", ..." : ""));
            }
        }
        if (read->handmade) {
            std::string why;
            if (!lf_keepOriginal(path, why)) return lf_refused(why);
        }
    }
    std::error_code ignored;
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), ignored);
    std::error_code ec;
    if (!gf_writeFileReplacing(path, [&text](std::ostream& out) { out << text; }, ec)) {
        return {StandFileWrite::failed, gf_writeFailureText(path, ec)};
    }
    return {StandFileWrite::saved, {}};
}

bool gf_writeAirportFile(const AirportFile& record, const fs::path& path, StandFileForm form,
                         std::uint32_t simVariant, bool handmade) {
    pugi::xml_document document;
    // Only the learned form holds the airport settings: the scan's tasks,
    // which write the generated form, do not read them.
    const LearnedSettings settings = form == StandFileForm::learned ? gf_currentLearnedSettings() : LearnedSettings{};
    if (lf_build(document, {record, form, simVariant, handmade, settings, nullptr, {}}).outcome !=
        StandFileWrite::saved) {
        return false;
    }
    return gf_standFileDoor(document, path, nullptr, false).outcome == StandFileWrite::saved;
}

StandFileWriteResult gf_writeLearnedFile(const AirportFile& record, const fs::path& path, std::uint32_t simVariant,
                                         bool handmade, const StandFileReadRecord& read, bool userAsked) {
    pugi::xml_document document;
    const ReadUses keep(read.asRead.stands);
    const LearnedSettings settings = gf_currentLearnedSettings();
    const StandFileWriteResult built =
        lf_build(document, {record, StandFileForm::learned, simVariant, handmade, settings, &keep, read.unplaced});
    if (built.outcome != StandFileWrite::saved) return built;
    return gf_standFileDoor(document, path, &read, userAsked);
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
    o.real = gf_flag(opt, "soft") ? 0 : 1;
    o.cpl = gf_flag(opt, "cpl");
    return o;
}

namespace {

// The names of the file form, by element.
constexpr std::string_view kParkposNames[] = {"id",     "latitude", "longitude", "heading",       "radius",
                                              "cargo",  "ramp",     "heli",      "manual",        "radius_change",
                                              "cargo_change"};
constexpr std::string_view kOptNames[] = {"reg", "airl", "type", "day", "hh", "cs", "soft", "cpl"};
// Their yes/no values.
constexpr const char* kParkposFlags[] = {"cargo", "ramp", "heli", "manual", "radius_change", "cargo_change"};
constexpr const char* kOptFlags[] = {"soft", "cpl"};

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
        std::string slip = gf_attributeNameSlip(opt);
        if (slip.empty()) slip = gf_flagSlip(opt);
        if (!slip.empty()) {
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

std::optional<bool> gf_wholeFlag(std::string_view text) {
    const std::string_view word = lf_trimmed(text);
    for (const std::string_view yes : {"true", "yes", "on", "1", "t", "y"}) {
        if (lf_sameLetters(word, yes)) return true;
    }
    for (const std::string_view no : {"false", "no", "off", "0", "f", "n"}) {
        if (lf_sameLetters(word, no)) return false;
    }
    return std::nullopt;
}

std::string gf_flagSlip(pugi::xml_node element) {
    const bool opt = std::string_view(element.name()) == "opt";
    const auto names = opt ? std::span<const char* const>(kOptFlags) : std::span<const char* const>(kParkposFlags);
    for (const char* name : names) {
        const pugi::xml_attribute attribute = element.attribute(name);
        if (attribute && !gf_wholeFlag(attribute.value())) {
            return fmt::format("{} \"{}\" is not true or false", name, attribute.value());
        }
    }
    return {};
}

bool gf_flag(pugi::xml_node element, const char* name) {
    return gf_wholeFlag(element.attribute(name).value()).value_or(false);
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
    if (slip.empty()) slip = gf_flagSlip(parkpos);
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
    const bool cargo = gf_flag(parkpos, "cargo");
    const bool ramp = gf_flag(parkpos, "ramp");
    const bool heli = gf_flag(parkpos, "heli");
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
