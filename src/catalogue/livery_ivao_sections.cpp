// The [fltsim.N] rules of the IVAO model sets. Their files lie in folders
// named after the model and their titles carry the airline code right after
// the model code ('B738 KLM Royal Dutch'), so neither comes from a key.
#include "catalogue/livery_keys.h"
#include "catalogue/livery_paths.h"
#include "catalogue/livery_reports.h"
#include "catalogue/livery_scan_dbase.h"
#include "catalogue/livery_sections.h"

#include <fmt/format.h>

namespace fs = std::filesystem;

namespace {

bool lf_isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool lf_isWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
char lf_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

struct IvaoKeys {
    std::string title;
    bool parkingTypesRead = false;
    std::string registration;
    std::string modelSuffix;
    std::string simName;
    std::string textureSuffix;
};

// Step 2 for one line; false rejects the section.
bool lf_scanIvaoLine(const std::string& line, IvaoKeys& k, const std::string& folderText, const std::string& header) {
    std::string value;
    if (lf_readTitle(line, value)) {
        if (!k.title.empty()) {
            lf_addIncompleteSection(folderText + " " + header + " has more than one title key");
            return false;
        }
        k.title = std::move(value);
        return true;
    }
    if (!k.parkingTypesRead) {
        if (lf_readAtcParkingTypes(line, value)) {
            k.parkingTypesRead = true;
            return true;
        }
    } else if (lf_lineHasAtcParkingTypes(line)) {
        lf_addIncompleteSection(folderText + " " + header + " has more than one atc_parking_types key");
        return false;
    }
    if (k.registration.empty()) {
        if (lf_readAtcId(line, value)) {
            if (!lf_checkAtcId(value, k.registration)) {
                lf_addIncompleteSection(fmt::format("invalid atc_id={} in {}", value, k.title));
            }
            return true;
        }
    } else if (lf_lineHasAtcId(line)) {
        lf_addIncompleteSection(fmt::format("{}, {}, has more than one atc_id key", folderText, header));
        return false;
    }
    if (k.modelSuffix.empty() && lf_readModel(line, k.modelSuffix)) return true;
    if (k.simName.empty() && lf_readSim(line, k.simName)) return true;
    if (k.textureSuffix.empty()) lf_readTexture(line, k.textureSuffix);
    return true;
}

// Step 3: each named file in turn; the report names the one that failed.
bool lf_ivaoFilesExist(const IvaoKeys& k, const fs::path& folder, const std::string& header, PathTypes& types) {
    const fs::path modelFolder =
        folder / lf_pathFromUtf8(k.modelSuffix.empty() ? std::string("model") : "model." + k.modelSuffix);
    const fs::path airFile = folder / lf_pathFromUtf8(k.simName + ".air");
    const fs::path textureFolder =
        folder / lf_pathFromUtf8(k.textureSuffix.empty() ? std::string("texture") : "texture." + k.textureSuffix);
    const fs::path* missing = nullptr;
    if (!types.isDirectory(modelFolder)) {
        missing = &modelFolder;
    } else if (!types.isRegularFile(airFile)) {
        missing = &airFile;
    } else if (!types.isDirectory(textureFolder)) {
        missing = &textureFolder;
    }
    if (missing == nullptr) return true;
    lf_addIncompleteSection(lf_narrowPathText(*missing) + " " + header + " does not exist");
    return false;
}

}  // namespace

// The airline candidate of an IVAO title: the title opens with the model
// code (any letter case), blanks may follow, then three word characters. The
// model code is compared as plain text, so a code holding characters that a
// pattern would read as operators is still taken literally.
std::optional<std::string> lf_ivaoAirlineInTitle(const std::string& title, const std::string& model) {
    if (title.size() < model.size()) return std::nullopt;
    for (std::size_t i = 0; i < model.size(); ++i) {
        if (lf_lower(title[i]) != lf_lower(model[i])) return std::nullopt;
    }
    std::size_t i = model.size();
    while (i < title.size() && lf_isSpace(title[i])) ++i;
    if (title.size() - i < 3) return std::nullopt;
    for (std::size_t k = i; k < i + 3; ++k) {
        if (!lf_isWordChar(title[k])) return std::nullopt;
    }
    for (std::size_t k = i + 3; k < title.size(); ++k) {
        if (title[k] == '\n' || title[k] == '\r') return std::nullopt;
    }
    return title.substr(i, 3);
}

void lf_procesIvaoFltSimSection(Livery& result, std::uint32_t folderIndex, std::vector<std::string>& section,
                                const std::string& model, const fs::path& file, const fs::path& folder) {
    PathTypes types;
    lf_procesIvaoFltSimSection(result, folderIndex, section, model, file, folder, types);
}

void lf_procesIvaoFltSimSection(Livery& result, std::uint32_t folderIndex, std::vector<std::string>& section,
                                const std::string& model, const fs::path& file, const fs::path& folder,
                                PathTypes& types) {
    lf_dropTrailingLines(section);
    if (section.empty()) return;
    const std::string header = section.front();
    const std::string folderText = lf_narrowPathText(folder);
    IvaoKeys k;
    for (const std::string& line : section) {
        if (!lf_scanIvaoLine(line, k, folderText, header)) return;
    }
    if (!lf_ivaoFilesExist(k, folder, header, types)) return;
    if (k.title.empty()) {
        lf_addIncompleteSection(folderText + " " + header + " misses title");
        return;
    }
    if (lf_isDontUseTitle(k.title)) return;

    const LiveryScanDbase& dbase = gf_liveryScanDbase();
    std::string airline;
    if (const auto candidate = lf_ivaoAirlineInTitle(k.title, model)) {
        if (!dbase.isIcaoAirline(*candidate)) {
            lf_addInvalidAirlineCode(*candidate, file, header);
            return;
        }
        airline = *candidate;
        if (airline == kGenericAirline) k.registration.clear();
    } else if (k.registration.empty()) {
        lf_addIncompleteSection(folderText + " " + header + " misses airlinecode in title: " + k.title +
                                ", and no regcode");
        return;
    } else {
        const auto record = dbase.lookupRegistration(k.registration);
        // A record without an airline names none (see the general rules).
        if (!record || record->airl.empty()) {
            lf_addIncompleteSection(folderText + " " + header + " misses airlinecode in title: " + k.title +
                                    ", and regcode unknown " + k.registration);
            return;
        }
        airline = record->airl;
    }
    std::optional<Livery> livery = lf_makeLivery(folderIndex, airline, model, 1, k.title, k.registration);
    if (!livery) {
        lf_addIncompleteSection(folderText + " " + header + " title already exists: " + k.title);
        return;
    }
    result = std::move(*livery);
}
