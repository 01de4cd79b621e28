#include "simlink/flight_plan.h"

#include <fmt/format.h>

#include <system_error>

#include "core/files.h"
#include "core/log.h"
#include "core/paths.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kFlightPlanFolderName = "orig_dest";

// The feed's origin and destination are outside text: a "<" or "&" in them
// must not break the document the simulator parses.
std::string lf_xmlEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out.push_back(c); break;
        }
    }
    return out;
}

}  // namespace

bool gf_createFlightPlanFolder() {
    // The path is fixed once per program start, so every run uses the same one.
    fs::path folder = gf_flightPlanFolder();
    if (folder.empty()) {
        folder = gf_appFolderPath() / kFlightPlanFolderName;
        gf_setFlightPlanFolder(folder);
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) gf_logLine(fmt::format("gf_createFlightPlanFolder: {}", ec.message()));
    return fs::exists(folder);
}

bool gf_removeFlightPlanFolder() {
    const fs::path folder = gf_flightPlanFolder();
    if (folder.empty()) return true;
    std::error_code ec;
    fs::remove_all(folder, ec);
    if (!ec) return true;
    gf_logLine(fmt::format("gf_removeFlightPlanFolder: {}", ec.message()));
    return false;
}

fs::path gf_flightPlanPath(std::uint32_t objectId) {
    return gf_flightPlanFolder() / fmt::format("{}.pln", objectId);
}

std::string_view gf_flightPlanType(AcCategory category) {
    switch (category) {
    case AcCategory::Buzjets:
    case AcCategory::Large:
    case AcCategory::Heavy: return "IFR";
    default: return "VFR";
    }
}

std::string gf_flightPlanText(AcCategory category, std::string_view origin, std::string_view destination) {
    return fmt::format(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
        "<FlightPlan.FlightPlan>\n"
        "<FPType>{}</FPType>\n"
        "<DepartureID>{}</DepartureID>\n"
        "<DestinationID>{}</DestinationID>\n"
        "</FlightPlan.FlightPlan>\n"
        "</SimBase.Document>\n"
        "\n",
        gf_flightPlanType(category), lf_xmlEscaped(origin), lf_xmlEscaped(destination));
}

bool gf_writeFlightPlan(const fs::path& path, AcCategory category, std::string_view origin,
                        std::string_view destination) {
    const std::string text = gf_flightPlanText(category, origin, destination);
    // Through a temporary file: the simulator never reads a half-written plan,
    // and a failed write or flush is reported instead of leaving a stub.
    return gf_writeFileReplacing(path, [&](std::ostream& out) { out.write(text.data(), static_cast<std::streamsize>(text.size())); });
}
