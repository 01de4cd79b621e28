#include "simlink/sim_neighbours.h"

#include <atomic>

#include "core/settings.h"
#include "core/user_error.h"

#include <fmt/format.h>

namespace {

// Until the catalogue and the airports are wired in: an empty Dbase (no span
// known, every type Light), no stands and no park airports.
class DefaultNeighbours final : public SimLinkNeighbours {
public:
    double halfWingspanNm(std::string_view) override { return 0.0; }
    double maxHalfWingspanNm() override { return 0.0; }
    AcCategory acCategory(std::string_view) override { return AcCategory::Light; }
    std::string categoryName(AcCategory category) override {
        static const char* const kNames[] = {"Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"};
        const auto index = static_cast<std::size_t>(category);
        return index < std::size(kNames) ? kNames[index] : "?";
    }
    std::string standNameAt(LatLon) override { return {}; }
    void reserveUserStand(const std::string&) override {}
    std::string simVersionText() override { return gf_defaultSimVersionText(); }
};

DefaultNeighbours g_defaultNeighbours;
std::atomic<SimLinkNeighbours*> g_neighbours{&g_defaultNeighbours};

}  // namespace

SimLinkNeighbours& gf_simLinkNeighbours() { return *g_neighbours.load(); }

void gf_setSimLinkNeighbours(SimLinkNeighbours* neighbours) {
    g_neighbours.store(neighbours ? neighbours : &g_defaultNeighbours);
}

std::string gf_defaultSimVersionText() {
    const std::string path = SIM_INSTALL_PATH.get();
    if (path.find("v5") != std::string::npos || path.find("V5") != std::string::npos) return "5";
    if (path.find("v6") != std::string::npos || path.find("V6") != std::string::npos) return "6";
    const auto version = P3D_VERSION.value();
    if (version >= 5) return fmt::format("{}", version);
    throw ozr::UserErrorException(
        77, fmt::format("P3D install path does not contain v5 or v6. Use hidden parameter {}, set it to 5 or 6.",
                        P3D_VERSION.name()));
}
