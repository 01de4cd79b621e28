#include "core/geometry.h"

#include <cmath>

double gf_distanceNm(LatLon a, LatLon b) {
    const double phi1 = a.lat * kDegToRad;
    const double phi2 = b.lat * kDegToRad;
    const double sinHalfDphi = std::sin((phi2 - phi1) / 2.0);
    const double sinHalfDlambda = std::sin((b.lon - a.lon) * kDegToRad / 2.0);
    const double h = sinHalfDphi * sinHalfDphi + std::cos(phi2) * std::cos(phi1) * sinHalfDlambda * sinHalfDlambda;
    // Rounding can push h a hair above 1 for antipodal points; the square
    // root of a negative would make the distance NaN.
    return std::atan2(std::sqrt(h), std::sqrt(std::fmax(0.0, 1.0 - h))) * kTwoEarthRadiiNm;
}

double gf_initialBearing(LatLon from, LatLon to) {
    const double phi1 = from.lat * kDegToRad;
    const double phi2 = to.lat * kDegToRad;
    const double dlambda = (to.lon - from.lon) * kDegToRad;
    double theta = std::atan2(std::sin(dlambda) * std::cos(phi2),
                              std::cos(phi1) * std::sin(phi2) - std::sin(phi1) * std::cos(phi2) * std::cos(dlambda));
    if (theta < 0.0) theta += kFullTurnRad;
    return theta;
}

LatLon gf_destinationPoint(LatLon start, double hdg_rad, double dist_ft) {
    const double phi1 = start.lat * kDegToRad;
    const double lambda1 = start.lon * kDegToRad;
    const double delta = dist_ft * kRadPerFt;
    const double phi2 =
        std::asin(std::sin(phi1) * std::cos(delta) + std::cos(phi1) * std::sin(delta) * std::cos(hdg_rad));
    const double lambda2 =
        lambda1 + std::atan2(std::sin(hdg_rad) * std::sin(delta) * std::cos(phi1),
                             std::cos(delta) - std::sin(phi1) * std::sin(phi2));
    return {phi2 * kRadToDeg, std::remainder(lambda2, kFullTurnRad) * kRadToDeg};
}
