#include "ui/window_text_boxes.h"

#include "core/log.h"
#include "core/paths.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <set>

namespace {

constexpr std::size_t kMaxName_chars = 64;
constexpr std::string_view kSuffix = ".txt";

bool lf_isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.';
}

std::string lf_lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower;
}

// The names of the files the program writes or reads, lower-cased (Windows
// compares names without case), wherever they live: the working folder holds
// Log.txt and its generations, and a name that is the program's anywhere is
// kept out too.
const std::set<std::string>& lf_programFileNames() {
    static const std::set<std::string> names = [] {
        std::set<std::string> all = {"log.txt",          "readme.txt",    "offlineregcodes.txt", "parameters.xml",
                                     "versions.json",    "simconnect.cfg", "realtraffic.lic",    "dbase.xml",
                                     "airport.xml",      "park_airport.xml", "aircraft.cfg",     "sim.cfg",
                                     "glim_p3d.exe"};
        const WorkPaths& w = gf_workPaths();
        for (const auto* path : {&w.dbaseEnc, &w.regcodesEnc, &w.regcodesXml, &w.airportsEnc, &w.airportsXml,
                                 &w.airportsP3dXml, &w.liveriesScanned, &w.airportsScanLog, &w.noFltsimSection,
                                 &w.modelConversions, &w.inlineRegcodes, &w.invalidAirlines, &w.invalidAircraft,
                                 &w.fixes, &w.invalidCfgFiles, &w.incompleteFltsim, &w.myParkAirports, &w.tbloZip,
                                 &w.installer, &w.releaseNotes}) {
            const std::u8string name = path->filename().u8string();
            all.insert(lf_lower(std::string(name.begin(), name.end())));
        }
        return all;
    }();
    return names;
}

bool lf_isAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

// lower is a lower-cased bare name with an extension. A generation copy
// ("log0.txt", "log000.txt") is the file it was copied from; an airport's
// stand file and its link file are named by the airport's code ("eham.xml",
// "eham.txt").
bool lf_isProgramFileName(const std::string& lower) {
    const std::size_t dot = lower.rfind('.');
    std::string stem = lower.substr(0, dot);
    const std::string ext = lower.substr(dot);
    if (lf_programFileNames().count(lower)) return true;
    while (!stem.empty() && stem.back() == '0') stem.pop_back();
    if (!stem.empty() && lf_programFileNames().count(stem + ext)) return true;
    const bool codeShaped = (stem.size() == 3 || stem.size() == 4) && std::all_of(stem.begin(), stem.end(), lf_isAlnum);
    return codeShaped && (ext == ".txt" || ext == ".xml");
}

}  // namespace

bool gf_isProgramFileName(std::string_view name) {
    if (name.find('.') == std::string_view::npos) return false;
    return lf_isProgramFileName(lf_lower(name));
}

namespace {

// A bare .txt name that lands in the working folder and nowhere else.
bool lf_isBareTxtName(std::string_view name) {
    if (name.size() <= kSuffix.size() || name.size() > kMaxName_chars || name.front() == '.') return false;
    for (const char c : name) {
        if (!lf_isNameChar(c)) return false;
    }
    // Windows ignores trailing dots and spaces, and "NUL.txt" is a device:
    // the suffix checked as written keeps both out ("." is allowed inside).
    const std::string lower = lf_lower(name);
    if (lower.compare(lower.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) return false;
    static const std::set<std::string> kDevices = {"con", "prn", "aux", "nul", "com1", "com2", "com3", "com4", "com5",
                                                   "com6", "com7", "com8", "com9", "lpt1", "lpt2", "lpt3", "lpt4",
                                                   "lpt5", "lpt6", "lpt7", "lpt8", "lpt9"};
    return kDevices.count(lower.substr(0, lower.find('.'))) == 0;
}

}  // namespace

bool gf_isTextBoxesFileName(std::string_view name) {
    // GLIM_TEXT_BOXES=Log0.txt replaced the previous run's log, the one a
    // user attaches to a report.
    return lf_isBareTxtName(name) && !gf_isProgramFileName(name);
}

std::optional<std::string> gf_textBoxesFileFromEnv() {
    const char* value = std::getenv("GLIM_TEXT_BOXES");
    if (!value || !*value) return std::nullopt;
    if (gf_isTextBoxesFileName(value)) return std::string(value);
    static std::mutex mutex;
    static std::set<std::string> logged;
    std::lock_guard lock(mutex);
    if (logged.insert(value).second) {
        if (lf_isBareTxtName(value)) {
            gf_logHighlight(fmt::format("GLIM_TEXT_BOXES ignored: {} is one of the program's own files", value));
        } else {
            gf_logHighlight("GLIM_TEXT_BOXES ignored: only a .txt file name in the working folder");
        }
    }
    return std::nullopt;
}
