#include "traffic/parking.h"

#include "traffic/ai_commands.h"
#include "traffic/traffic_state.h"

bool lf_standArbitration(std::uint32_t standId, const std::string& callsign) {
    for (const LiveAc& a : g_liveAc) {
        if (a.standId == standId && a.callsign != callsign && a.simState != SimState::removingfromsim) return false;
    }
    return true;
}

void lf_makesWay(const Stand& stand) {
    for (StaticAc& s : g_staticAc) {
        if (s.simState != SimState::active) continue;
        if (s.standId == gf_standNumericId(stand)) {
            removeAircraftFromSim(s);
            continue;
        }
        for (std::uint32_t id : stand.adjacent) {
            if (s.standId == id) removeAircraftFromSim(s);
        }
    }
}

void lf_standCargoAttribute(LiveAc& ac, Stand& stand) { ac.standCargo = stand.cargo ? 1 : 0; }
