// What the simulator link needs from the aircraft catalogue, the airports and
// stands and the start-up reading, behind one small interface. The program's
// wiring installs the real neighbours; tests install their own.
#pragma once

#include <string>
#include <string_view>

#include "core/geometry.h"
#include "simlink/ac_category.h"

class SimLinkNeighbours {
public:
    virtual ~SimLinkNeighbours() = default;

    // Catalogue: half the wing span of an ICAO type in nautical miles, the
    // largest half span of the Dbase, the category of a type and its name.
    virtual double halfWingspanNm(std::string_view icaoType) = 0;
    virtual double maxHalfWingspanNm() = 0;
    virtual AcCategory acCategory(std::string_view icaoType) = 0;
    virtual std::string categoryName(AcCategory category) = 0;

    // Stands: the name of the stand at a position, empty when none (worker
    // thread only).
    virtual std::string standNameAt(LatLon position) = 0;

    // Park airports (worker thread only): when the park-airport list is not
    // empty, its first entry is the current park airport and its reserved
    // stand differs from standName, the reserved stand becomes standName and
    // the list file is rewritten.
    virtual void reserveUserStand(const std::string& standName) = 0;

    // The simulator version text "5" or "6" for "Waiting for Prepar3Dv{} ...";
    // may throw ozr::UserErrorException.
    virtual std::string simVersionText() = 0;
};

// The neighbours installed. The link stops the run when it asks before any are
// installed: an answer nobody gave would pass for an empty Dbase unnoticed.
SimLinkNeighbours& gf_simLinkNeighbours();
// Installs neighbours (nullptr takes them away again). Not owned.
void gf_setSimLinkNeighbours(SimLinkNeighbours* neighbours);

// The simulator version: "5" when SIM_INSTALL_PATH holds "v5" or "V5", else
// "6" for "v6" or "V6", else P3D_VERSION when it is 5 or more, else user
// error 77.
std::string gf_simVersionText();
