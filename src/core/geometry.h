// Great-circle functions on a spherical earth. Distances in nautical miles,
// movement lengths in feet, directions in radians, positions in degrees.
#pragma once

// A position in degrees, north and east positive.
struct LatLon {
    double lat;
    double lon;
};

inline constexpr double kDegToRad = 0.017453292519943295;
inline constexpr double kRadToDeg = 57.29577951308232;
inline constexpr double kFullTurnRad = 6.283185307179586;
// Twice an earth radius of 3437.746770784939 NM: one nautical mile per minute
// of arc, so a central angle times this is the haversine distance.
inline constexpr double kTwoEarthRadiiNm = 6875.493541569878;
// One over an earth radius of 20888146.4 ft: a length in feet times this is
// the central angle it spans.
inline constexpr double kRadPerFt = 4.787404208238998e-08;

// Haversine distance in nautical miles.
double gf_distanceNm(LatLon a, LatLon b);
// Initial true course from `from` to `to`, clockwise from north, 0 to just
// under 2 pi.
double gf_initialBearing(LatLon from, LatLon to);
// The position reached from `start` along course hdg_rad after dist_ft; the
// longitude always lies in -180..180, also across the date line.
LatLon gf_destinationPoint(LatLon start, double hdg_rad, double dist_ft);
