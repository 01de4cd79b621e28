// Whole user flights through a running engine: the user's aircraft follows a
// path of timed waypoints while feed records go in through the intake, the
// fake simulator answers with ground data over flat terrain, and once a
// simulator second the user rules run as the main loop runs them. What a
// pilot would see is gathered on the way: which aircraft the user rules took
// away and where, aircraft standing inside one another, aircraft whose wheels
// are off the ground they stand on.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/steady_clock.h"
#include "traffic_harness.h"

// One point of the user's flight: where the aircraft is at time t_s.
struct UserWaypoint {
    double t_s;
    double lat;
    double lon;
    double agl_ft;  // 0: on the ground
};

// A removal by the user rules, as the pilot met it.
struct UserRemoval {
    std::uint32_t hexid;
    double t_s;
    double dist_nm;    // from the user
    bool userOnGround;
    bool acOnGround;
};

struct FlightFindings {
    std::vector<UserRemoval> removals;
    // "KLM1/KLM2 12 m at 80 s": two aircraft on the ground within the wing
    // spans of both.
    std::vector<std::string> overlaps;
    // "KLM1 wheels 30 ft at 12 s": on the ground but not on it.
    std::vector<std::string> offGround;
    std::map<std::uint32_t, int> removedCount;
    // The closest two aircraft on the ground came, centre to centre.
    std::map<std::pair<std::uint32_t, std::uint32_t>, double> closest_m;
    int removedBy(std::uint32_t hexid) const;
    double closestOf(std::uint32_t a, std::uint32_t b) const;
};

class UserFlightDriver : public TrafficHarness {
protected:
    void SetUp() override;
    void TearDown() override;

    // The sample stand file of the demo airport as the park airport.
    static const Stand& standNamed(const std::string& name);
    // Feed records due at their feed time (seconds from the flight's start).
    void schedule(const std::vector<FlightRecord>& records);
    // A record standing still on the stand every `every_s` seconds.
    void standing(std::uint32_t hexid, const std::string& callsign, const std::string& type, const Stand& stand,
                  double from_s, double to_s, double every_s = 16.0);
    // Flies the user along `path` (straight between its waypoints) from its
    // first time to its last, and gathers what the pilot saw.
    FlightFindings fly(const std::vector<UserWaypoint>& path);

    // Called once a simulator second with the flight's time, after the checks.
    std::function<void(double)> eachSecond;
    double elevation_ft = -11.0;
    double cg_ft = 8.0;
    // The user's nose this many degrees right of its track, as in a
    // crosswind on final.
    double crab_deg = 0.0;

private:
    void answerSimulator();
    void setUser(const std::vector<UserWaypoint>& path, double t_s);
    void look(FlightFindings& out, double t_s);

    // The engine's clock follows the passes: parked ages and report times
    // are the flight's own.
    VirtualSteadyClock m_clock;
    std::multimap<double, FlightRecord> m_feed;
    std::size_t m_cgAnswered = 0;
    std::size_t m_rangeAnswered = 0;
};

inline constexpr double kFeetPerNm = 6076.11549;
// A point d_nm from (lat, lon) on a true bearing.
LatLon gf_toward(double lat, double lon, double bearing_deg, double d_nm);
