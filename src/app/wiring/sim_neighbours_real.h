// The simulator link's neighbours as the program has them: the catalogue
// answers come from the Dbase, the stands and the park airports from the
// airport side, the simulator version from the settings.
#pragma once

#include "simlink/sim_neighbours.h"

class RealSimNeighbours : public SimLinkNeighbours {
public:
    // Catalogue (any thread; the SimClient thread asks them). Before the Dbase
    // is complete they answer like an empty Dbase.
    double halfWingspanNm(std::string_view icaoType) override;
    double maxHalfWingspanNm() override;
    AcCategory acCategory(std::string_view icaoType) override;
    std::string categoryName(AcCategory category) override;

    // Stands and park airports (worker thread).
    std::string standNameAt(LatLon position) override;
    void reserveUserStand(const std::string& standName) override;
    std::string simVersionText() override;
};

// The program's one instance, installed by the wiring.
RealSimNeighbours& gf_realSimNeighbours();
