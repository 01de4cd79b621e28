#include "app/wiring/sim_neighbours_real.h"

#include "app/wiring/airport_services.h"
#include "catalogue/dbase.h"
#include "catalogue/dbase_queries.h"

namespace {

// The SimClient thread may ask before the worker has read the Dbase; the
// acquire pairs with the release that ends the read.
bool lf_dbaseReady() { return g_dbaseReady.load(std::memory_order_acquire); }

}  // namespace

double RealSimNeighbours::halfWingspanNm(std::string_view icaoType) {
    return lf_dbaseReady() ? gf_halfWingspanNm(icaoType) : 0.0;
}

double RealSimNeighbours::maxHalfWingspanNm() { return lf_dbaseReady() ? g_dbase.maxHalfWingspan : 0.0; }

AcCategory RealSimNeighbours::acCategory(std::string_view icaoType) {
    return lf_dbaseReady() ? gf_acCategory(icaoType) : AcCategory::Light;
}

std::string RealSimNeighbours::categoryName(AcCategory category) {
    // The link names categories in log lines: an unknown value must not end
    // its thread.
    try {
        return gf_categoryName(category);
    } catch (const std::out_of_range&) {
        return "?";
    }
}

std::string RealSimNeighbours::standNameAt(LatLon position) { return gf_userStandNameAt(position); }

void RealSimNeighbours::reserveUserStand(const std::string& standName) { gf_reserveUserStand(standName); }

std::string RealSimNeighbours::simVersionText() { return gf_simVersionText(); }

RealSimNeighbours& gf_realSimNeighbours() {
    static RealSimNeighbours neighbours;
    return neighbours;
}
