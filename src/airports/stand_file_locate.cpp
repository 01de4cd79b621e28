#include "airports/stand_file_locate.h"

#include "airports/airport_database.h"
#include "airports/stand_file.h"
#include "core/download.h"
#include "core/file_meta.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/text_encoding.h"

#include <curl/curl.h>
#include <fmt/format.h>
#include <fstream>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr double kNoStand_nm = 100.0;
constexpr const char* kClosestStandTempFile = "airport.xml";

bool lf_exists(const fs::path& path) {
    std::error_code ec;
    const bool found = fs::exists(path, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) throw fs::filesystem_error("exists", path, ec);
    return found;
}

std::string lf_localReference(const fs::path& path) {
    // References keep the backslashes Windows writes; the learned mapping and
    // the log read them that way on every platform.
    std::string text = gf_pathToUtf8(path);
    for (char& c : text) {
        if (c == '/') c = '\\';
    }
    return text;
}

void lf_removeTemp(const fs::path& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) return;
    if (!fs::remove(path, ec) && ec) throw fs::filesystem_error("remove", path, ec);
}

bool lf_endsWithXml(std::string_view text) {
    if (text.size() < 4) return false;
    std::string tail(text.substr(text.size() - 4));
    for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == ".xml";
}

}  // namespace

bool lf_readLinkFile(const fs::path& path, std::string& reference) {
    reference.clear();
    if (!lf_exists(path)) return false;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line)) return false;
    const std::size_t end = line.find_last_not_of(" \t\r\n\f\v");
    line.resize(end == std::string::npos ? 0 : end + 1);
    if (line.size() < 4 || !lf_endsWithXml(line)) return false;
    reference = line;
    return true;
}

std::string gf_resolveAirportFile(std::string_view code) {
    const WorkPaths& paths = gf_workPaths();
    std::string reference;
    for (const fs::path& folder : {paths.myThirdparty, paths.myOrbx}) {
        if (lf_readLinkFile(folder / gf_txtNameOf(code), reference)) return reference;
        const fs::path file = folder / gf_xmlNameOf(code);
        if (lf_exists(file)) return lf_localReference(file);
    }
    const auto airport = gf_findAirport(code);
    if (airport && airport->stands >= 1) return "archive/stock/" + std::string(code) + ".xml";
    return {};
}

bool gf_airportFileExists(std::string_view code) {
    const WorkPaths& paths = gf_workPaths();
    for (const fs::path& folder : {paths.myThirdparty, paths.myOrbx}) {
        if (lf_exists(folder / gf_xmlNameOf(code)) || lf_exists(folder / gf_txtNameOf(code))) return true;
    }
    const auto airport = gf_findAirport(code);
    return airport && airport->stands >= 1;
}

bool gf_isLocalReference(std::string_view reference) { return reference.rfind("airports", 0) == 0; }

fs::path gf_referencePath(std::string_view reference) {
    std::string text(reference);
    for (char& c : text) {
        if (c == '\\') c = '/';
    }
    return fs::u8path(text);
}

std::string gf_standFileUrl(std::string_view reference) { return gf_siteBaseUrl() + "P3D/" + std::string(reference); }

std::string lf_downloadAirportFile(std::string_view reference, const fs::path& localPath) {
    bool notOnSite = false;
    return lf_downloadAirportFile(reference, localPath, notOnSite);
}

std::string lf_downloadAirportFile(std::string_view reference, const fs::path& localPath, bool& notOnSite) {
    constexpr long kHttpNotFound = 404;
    notOnSite = false;
    const std::string url = gf_standFileUrl(reference);
    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), &curl_easy_cleanup);
    DownloadFailure failure;
    if (handle && gf_downloadFile(handle.get(), url, localPath, true, kDefaultDownloadCaps, &failure)) return {};
    notOnSite = failure.httpStatus == kHttpNotFound;
    lf_removeTemp(localPath);
    std::string error = fmt::format("failed to download: '{}'", url);
    gf_logLine(error);
    return error;
}

namespace {

struct StandPoint {
    std::string id;
    LatLon position;
};

std::vector<StandPoint> lf_standPoints(const fs::path& file) {
    std::vector<StandPoint> points;
    pugi::xml_document document;
    // Read as the park airport's file is read, so that the stand found here
    // has the name the read gives it.
    if (!gf_loadStandFile(file, document)) return points;
    for (pugi::xml_node parkpos : gf_rootChild(document, "parkpositions").children("parkpos")) {
        // "52,31" is no latitude of 52: such a stand is not there to be found.
        const std::optional<double> lat = gf_wholeNumber(parkpos.attribute("latitude").as_string());
        const std::optional<double> lon = gf_wholeNumber(parkpos.attribute("longitude").as_string());
        if (!lat || !lon) continue;
        points.push_back({parkpos.attribute("id").as_string(), {*lat, *lon}});
    }
    return points;
}

// The stands of archived files fetched for the search, by reference (none
// when the fetch failed). The search runs every 16 seconds while the user
// stands near two airports: each archived file is fetched once, not at
// every call on the worker's pass.
std::mutex g_fetchedMutex;
std::unordered_map<std::string, std::vector<StandPoint>> g_fetchedStands;

std::vector<StandPoint> lf_archivedStandPoints(const std::string& reference, const fs::path& temp) {
    std::lock_guard lock(g_fetchedMutex);
    const auto known = g_fetchedStands.find(reference);
    if (known != g_fetchedStands.end()) return known->second;
    std::vector<StandPoint> points;
    if (lf_downloadAirportFile(reference, temp).empty()) points = lf_standPoints(temp);
    lf_removeTemp(temp);
    g_fetchedStands[reference] = points;
    return points;
}

}  // namespace

void gf_forgetFetchedStandFiles() {
    std::lock_guard lock(g_fetchedMutex);
    g_fetchedStands.clear();
}

double gf_readDestApfForClosestStand(std::string_view code, LatLon position, std::string& standId) {
    const fs::path temp = kClosestStandTempFile;
    try {
        const std::string reference = gf_resolveAirportFile(code);
        if (reference.empty()) return kNoStand_nm;
        const std::vector<StandPoint> points = gf_isLocalReference(reference)
                                                   ? lf_standPoints(gf_referencePath(reference))
                                                   : lf_archivedStandPoints(reference, temp);
        double best = kNoStand_nm;
        for (const StandPoint& point : points) {
            const double d = gf_distanceNm(position, point.position);
            if (d < best) {
                best = d;
                standId = point.id;
            }
        }
        return best;
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{}: {}", "gf_readDestApfForClosestStand", e.what()));
        // The temporary file never outlives the search, also after a failure.
        std::error_code ec;
        fs::remove(temp, ec);
        return kNoStand_nm;
    }
}
