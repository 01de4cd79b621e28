// The general [fltsim.N] rules. One pass over the section's lines reads its
// keys; a key given twice makes the section ambiguous and rejects it, since
// the simulator and this scan could otherwise disagree on which one counts.
#include "catalogue/livery_folder_list.h"
#include "catalogue/livery_keys.h"
#include "catalogue/livery_paths.h"
#include "catalogue/livery_reports.h"
#include "catalogue/livery_scan_dbase.h"
#include "catalogue/livery_sections.h"

#include "core/log.h"
#include "core/text.h"

#include <fmt/format.h>

#include <exception>

namespace fs = std::filesystem;

namespace {

// Parking codes of real airlines carry a trailing X or C (BAWX, DLHC) for the
// airline's own stands.
constexpr std::size_t kParkingCodeWithMark = 4;
// Liveries of this code are refuelling trucks and such, not aircraft.
constexpr std::string_view kRefuelCode = "RFO";

struct SectionKeys {
    std::string title;
    std::string airline;
    std::string parkingTypes;
    std::string registration;
    std::string modelSuffix;
    std::string simName;
    std::string textureSuffix;
};

enum class ScanEnd { passed, rejected, dropped };

struct SectionContext {
    const std::string& header;
    const std::string& folderText;
    const fs::path& file;
};

// Step 2 for one line; false ends the scan.
ScanEnd lf_scanLine(const std::string& line, SectionKeys& k, const SectionContext& c) {
    const LiveryScanDbase& dbase = gf_liveryScanDbase();
    std::string value;
    if (lf_readTitle(line, value)) {
        if (!k.title.empty()) {
            lf_addIncompleteSection(fmt::format("{} {} has more than one title key", c.folderText, c.header));
            return ScanEnd::rejected;
        }
        k.title = std::move(value);
        return ScanEnd::passed;
    }
    if (k.airline.empty()) {
        if (lf_readAtcParkingCodes(line, value)) {
            if (value.size() == kParkingCodeWithMark && (value[3] == 'X' || value[3] == 'C')) value.resize(3);
            if (dbase.isIcaoAirline(value)) {
                k.airline = std::move(value);
            } else if (value == kRefuelCode) {
                return ScanEnd::dropped;
            } else {
                lf_addInvalidAirlineCode(value, c.file, c.header);
            }
            return ScanEnd::passed;
        }
    } else if (line.find("atc_parking_codes") != std::string::npos) {
        lf_addIncompleteSection(fmt::format("{} {} has more than one atc_parking_codes key", c.folderText, c.header));
        return ScanEnd::rejected;
    }
    if (k.parkingTypes.empty()) {
        if (lf_readAtcParkingTypes(line, value)) {
            gf_normalizeCommaList(value);
            for (char& ch : value) ch = gf_toUpper(ch);
            k.parkingTypes = std::move(value);
            return ScanEnd::passed;
        }
    } else if (lf_lineHasAtcParkingTypes(line)) {
        lf_addIncompleteSection(fmt::format("{} {} has more than one atc_parking_types key", c.folderText, c.header));
        return ScanEnd::rejected;
    }
    if (k.registration.empty()) {
        if (lf_readAtcId(line, value)) {
            // What follows a ';' is the author's remark.
            if (const auto semicolon = value.find(';'); semicolon != std::string::npos) value.resize(semicolon);
            if (!lf_checkAtcId(value, k.registration)) {
                lf_addIncompleteSection(fmt::format("invalid atc_id={} in: {}", value, k.title));
            }
            return ScanEnd::passed;
        }
    } else if (lf_lineHasAtcId(line)) {
        lf_addIncompleteSection(fmt::format("{}, {}, has more than one atc_id key", c.folderText, c.header));
        return ScanEnd::rejected;
    }
    if (k.modelSuffix.empty() && lf_readModel(line, k.modelSuffix)) return ScanEnd::passed;
    if (k.simName.empty() && lf_readSim(line, k.simName)) return ScanEnd::passed;
    if (k.textureSuffix.empty()) lf_readTexture(line, k.textureSuffix);
    return ScanEnd::passed;
}

fs::path lf_suffixedFolder(const fs::path& folder, const char* name, const std::string& suffix) {
    return folder / lf_pathFromUtf8(suffix.empty() ? std::string(name) : std::string(name) + "." + suffix);
}

// Step 4: the throwing status form reports an error other than "not found"
// (access denied) as a file-system error of the operation "status".
bool lf_namedFilesExist(const SectionKeys& k, const SectionContext& c, const fs::path& folder, PathTypes& types) {
    const fs::path modelFolder = lf_suffixedFolder(folder, "model", k.modelSuffix);
    const bool exist = types.isDirectory(modelFolder) &&
                       types.isDirectory(lf_suffixedFolder(folder, "texture", k.textureSuffix)) &&
                       types.isRegularFile(folder / lf_pathFromUtf8(k.simName + ".air"));
    if (!exist) {
        lf_addIncompleteSection(lf_narrowPathText(modelFolder) + " or related path does not exist: " + c.header);
    }
    return exist;
}

// Step 7; false when the section yields no livery.
bool lf_settleAirline(SectionKeys& k, const SectionContext& c, const std::string& model) {
    const LiveryScanDbase& dbase = gf_liveryScanDbase();
    if (k.airline == kGenericAirline) {
        k.registration.clear();
        return true;
    }
    if (!k.airline.empty()) return true;
    const bool heavy = dbase.category(model) == AcCategory::Heavy;
    if (k.registration.empty()) {
        if (heavy) {
            lf_addIncompleteSection(fmt::format("'{}' '{}' has no airline and no regcode info", c.folderText, c.header));
            return false;
        }
        k.airline = kPrivateAirline;
        k.registration = dbase.registrationInTitle(k.title).value_or(std::string());
        return true;
    }
    // A record without an airline names no airline: taking its empty code
    // would make the livery look like a title already taken.
    const auto record = dbase.lookupRegistration(k.registration);
    if (record && !record->airl.empty()) {
        k.airline = record->airl;
        return true;
    }
    if (heavy) {
        lf_addIncompleteSection(
            fmt::format("'{}' '{}' has no airline and regcode not in dbase", c.folderText, c.header));
        return false;
    }
    k.airline = kPrivateAirline;
    return true;
}

void lf_processSection(std::list<Livery>& result, std::uint32_t folderIndex, std::vector<std::string>& section,
                       const std::string& model, const fs::path& file, const fs::path& folder, PathTypes& types) {
    lf_dropTrailingLines(section);
    if (section.empty()) return;
    const std::string folderText = lf_narrowPathText(folder);
    const SectionContext c{section.front(), folderText, file};
    SectionKeys k;

    ScanEnd end = ScanEnd::passed;
    for (const std::string& line : section) {
        end = lf_scanLine(line, k, c);
        if (end != ScanEnd::passed) break;
    }
    if (end == ScanEnd::dropped) return;
    if (k.airline.empty()) {
        lf_addIncompleteSection(
            fmt::format("{} {} icao_airline is missing, or it has invalid info ", lf_narrowPathText(file), c.header));
    }
    if (end == ScanEnd::rejected) return;
    if (!lf_namedFilesExist(k, c, folder, types)) return;
    if (k.title.empty()) {
        lf_addIncompleteSection(fmt::format("{} {} misses title", folderText, c.header));
        return;
    }
    if (lf_isDontUseTitle(k.title)) return;
    if (!lf_settleAirline(k, c, model)) return;

    const bool cargo = k.parkingTypes.find("CARGO") != std::string::npos;
    std::optional<Livery> livery = lf_makeLivery(folderIndex, k.airline, model, cargo ? 0 : 1, k.title, k.registration);
    if (!livery) {
        lf_addIncompleteSection(fmt::format("{} {} title '{}' already exists", folderText, c.header, k.title));
        return;
    }
    result.push_back(std::move(*livery));
}

}  // namespace

fs::file_type PathTypes::type(const fs::path& path) {
    for (const auto& [known, type] : m_known) {
        if (known == path.native()) return type;
    }
    const fs::file_type type = lf_pathType(path);
    m_known.emplace_back(path.native(), type);
    return type;
}

void lf_dropTrailingLines(std::vector<std::string>& section) {
    while (!section.empty() && (section.back().empty() || section.back().starts_with("//"))) section.pop_back();
}

void lf_procesFltSimSection(std::list<Livery>& result, std::uint32_t folderIndex, std::vector<std::string>& section,
                            const std::string& model, const fs::path& file, const fs::path& folder) {
    PathTypes types;
    lf_procesFltSimSection(result, folderIndex, section, model, file, folder, types);
}

void lf_procesFltSimSection(std::list<Livery>& result, std::uint32_t folderIndex, std::vector<std::string>& section,
                            const std::string& model, const fs::path& file, const fs::path& folder,
                            PathTypes& types) {
    try {
        lf_processSection(result, folderIndex, section, model, file, folder, types);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("Exception in lf_procesFltSimSection: {}, file: {}", e.what(), lf_logPathText(file)));
        throw;
    }
}
