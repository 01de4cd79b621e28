#include "simlink/sim_neighbours.h"

#include "core/registry.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "core/settings.h"
#include "core/port_missing.h"
#include "core/user_error.h"

#include <fmt/format.h>

namespace {

std::atomic<SimLinkNeighbours*> g_neighbours{nullptr};

}  // namespace

SimLinkNeighbours& gf_simLinkNeighbours() {
    SimLinkNeighbours* neighbours = g_neighbours.load();
    if (!neighbours) gf_portNotInstalled("the simulator link's neighbours");
    return *neighbours;
}

void gf_setSimLinkNeighbours(SimLinkNeighbours* neighbours) { g_neighbours.store(neighbours); }

std::string gf_simVersionText() {
    const std::string path = SIM_INSTALL_PATH.get();
    if (std::string named = gf_simVersionNamedInPath(path); !named.empty()) return named;
    const auto version = P3D_VERSION.value();
    if (version >= 5) return fmt::format("{}", version);
    throw ozr::UserErrorException(
        77, fmt::format("P3D install path does not contain v5 or v6. Use hidden parameter {}, set it to 5 or 6.",
                        P3D_VERSION.name()));
}
