// Whole ground journeys on the sample EHAM stand file over flat terrain, fed
// through the intake every 2 s as the service delivers them: a landing that
// flares, rolls out, leaves the runway and parks; a parked aircraft that
// pushes back, taxis and takes off.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "airports/park_airport_state.h"
#include "core/log.h"
#include "core/settings.h"
#include "motion_harness.h"
#include "traffic/motion_common.h"
#include "traffic/traffic_state.h"

namespace {

constexpr double kMetresPerDeg = 111132.95;
constexpr double kKtToMs = 0.514444;
constexpr std::uint32_t kSyntheticHex = 0x484506;

// A path in metres east and north of an origin, sampled every 2 s.
class PathWriter {
public:
    PathWriter(double lat0, double lon0, double east, double north, std::uint32_t hexid = kSyntheticHex,
               std::string callsign = "KLM1234")
        : m_lat0(lat0), m_lon0(lon0), m_e(east), m_n(north), m_hexid(hexid), m_callsign(std::move(callsign)) {}

    // Straight on along hdg for seconds, the speed changing linearly, the
    // altitude by vrate (feet per minute) down to the ground.
    void leg(double hdg_deg, double seconds, double gs0, double gs1, double vrate = 0.0) {
        for (double t = 0.0; t < seconds; t += 1.0) {
            const double gs = gs0 + (gs1 - gs0) * t / seconds;
            m_e += std::sin(hdg_deg * kDegToRad) * gs * kKtToMs;
            m_n += std::cos(hdg_deg * kDegToRad) * gs * kKtToMs;
            m_alt = std::max(0.0, m_alt + vrate / 60.0);
            sample(hdg_deg, gs, m_alt > 0.0 ? vrate : 0.0);
        }
    }
    // To the point (east, north) at gs.
    void to(double east, double north, double gs) {
        const double de = east - m_e;
        const double dn = north - m_n;
        const double dist = std::hypot(de, dn);
        const double hdg = std::atan2(de, dn) * kRadToDeg;
        leg(hdg < 0 ? hdg + 360 : hdg, dist / (gs * kKtToMs), gs, gs);
    }
    void stand(double seconds, double track) {
        for (double t = 0.0; t < seconds; t += 1.0) sample(track, 0.0, 0.0);
    }
    void altitude(double ft) { m_alt = ft; }
    // The nose's heading sent with the following points, as their true
    // heading or, without one, as their track (none: the track is the
    // direction of motion).
    void nose(std::optional<double> deg, bool asTrack = false) {
        m_nose = deg;
        m_noseAsTrack = asTrack;
    }

    std::vector<FlightRecord> records;

private:
    void sample(double track, double gs, double vrate) {
        m_time += 1.0;
        if (std::fmod(m_time, 2.0) != 0.0) return;
        FlightRecord r;
        r.hexid = m_hexid;
        r.callsign = m_callsign;
        r.type = "B738";
        r.registration = "PH-BXA";
        r.feedTime = m_time;
        StreamPoint& p = r.point;
        p.lat = m_lat0 + m_n / kMetresPerDeg;
        p.lon = m_lon0 + m_e / (kMetresPerDeg * std::cos(m_lat0 * kDegToRad));
        p.alt = m_alt;
        p.airborne = m_alt > 0.0;
        p.gs = gs;
        p.tas = gs;
        p.track = track;
        p.vrate = vrate;
        if (m_nose && m_noseAsTrack) {
            p.track = std::fmod(*m_nose, 360.0);
        } else if (m_nose) {
            p.hasTrueHeading = true;
            p.trueHeading_rad = *m_nose * kDegToRad;
        }
        records.push_back(r);
    }

    double m_lat0, m_lon0, m_e, m_n;
    std::uint32_t m_hexid;
    std::string m_callsign;
    double m_alt = 0.0;
    double m_time = 1000.0;
    std::optional<double> m_nose;
    bool m_noseAsTrack = false;
};

class SyntheticPaths : public MotionHarness {
protected:
    void SetUp() override {
        MotionHarness::SetUp();
        loadEham();
        sim.user.lat_deg = kEhamLat;
        sim.user.lon_deg = kEhamLon;
    }
    // Every record as its own 2 s poll, 30 s ahead; then `tail` passes.
    void feed(const std::vector<FlightRecord>& records, int tail, const std::function<void()>& each) {
        for (const FlightRecord& r : records) {
            takeBatch({r}, 30);
            fly(200, each);
        }
        fly(tail, each);
    }
    static const Stand& standNamed(const std::string& name) { return *gf_findStandByName(name); }
    // Taxiing in from 300 m south to a stop 6 m short of (lat, lon), then
    // standing there.
    static std::vector<FlightRecord> taxiIn(double lat, double lon, std::uint32_t hexid, const std::string& callsign) {
        PathWriter path(lat, lon, 0.0, -300.0, hexid, callsign);
        path.leg(0, 50, 10, 10);
        path.to(0.0, -6.0, 5);
        path.stand(60, 0);
        return path.records;
    }
};

TEST_F(SyntheticPaths, LandingFlaresTouchesDownOnTheRunwayHeadingRollsOutAndParks) {
    const Stand& e5 = standNamed("E5");
    // Runway 058 ending south-east of the E stands; the aircraft turns off
    // and taxis into E5 from the south-west.
    PathWriter path(e5.latitude, e5.longitude, -1500.0 - 5.0 * 1852 * std::sin(58 * kDegToRad),
                    -1200.0 - 5.0 * 1852 * std::cos(58 * kDegToRad));
    path.altitude(1600.0);
    path.leg(58, 128.6, 140, 140, -1600.0 / 128.6 * 60.0);
    path.leg(58, 48, 140, 20);
    path.leg(28, 20, 20, 12);  // a 30 degree exit
    const double entryE = -60.0 * std::sin(60 * kDegToRad), entryN = -60.0 * std::cos(60 * kDegToRad);
    path.to(entryE, entryN, 12);
    path.to(-6.0 * std::sin(60 * kDegToRad), -6.0 * std::cos(60 * kDegToRad), 5);
    path.stand(120, 60);

    bool flared = false, flareFlag = false, rolled = false;
    double touchdownHeading = -1, touchdownSink = 0, sink = 0;
    feed(path.records, 3000, [&] {
        const LiveAc* ac = liveAc(kSyntheticHex);
        if (!ac || ac->simState != SimState::active) return;
        flared |= ac->motion.more.flareStage >= 3;
        flareFlag |= g_flareActive.load();
        if (ac->motion.landingRoll && !rolled) {
            rolled = true;
            touchdownHeading = ac->motion.touchdownHeading_rad * kRadToDeg;
            touchdownSink = sink;
        }
        if (!ac->groundMode) sink = -ac->motion.verticalSpeed_ftPerTick * 6000.0;
    });
    const LiveAc* ac = liveAc(kSyntheticHex);
    ASSERT_NE(ac, nullptr);
    EXPECT_TRUE(flared && flareFlag) << "the flare reached its third stage and sped up the range requests";
    EXPECT_TRUE(rolled) << "touched down during the flare";
    EXPECT_NEAR(touchdownHeading, 58.0, 3.0) << "on the runway heading";
    EXPECT_LT(touchdownSink, 700.0) << "feet per minute at touchdown";
    EXPECT_EQ(ac->flightState, FlightState::parked);
    EXPECT_EQ(gf_standNameOf(ac->standId), "E5");
    EXPECT_LT(gf_distanceNm({ac->pos.lat, ac->pos.lon}, {e5.latitude, e5.longitude}) * 1852, 2.0);
    EXPECT_NEAR(ac->pos.heading * kRadToDeg, 60.0, 5.0);
    EXPECT_NE(logText().find("E5      : KLM1234  arrived at stand"), std::string::npos);
}

// A 3 degree approach flown down to the ground and a short roll-out: the
// aircraft follows its stream down and touches down where the stream does,
// at the park airport or at any other, in every category.
TEST_F(SyntheticPaths, ApproachesFollowTheirStreamDownToTheGround) {
    struct Row {
        const char* type;
        double gs_kt;
        bool parkAirport;
    };
    const Row rows[] = {{"B738", 140, false}, {"C172", 70, true}, {"EC35", 60, false}};
    LIGHT_AIRCRAFT.setValue(true);
    HELICOPTERS.setValue(true);
    std::uint32_t hex = 0x400200;
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.type) + (r.parkAirport ? " at the park airport" : " at an airport without stands"));
        g_liveAc.clear();
        const Stand& e5 = standNamed("E5");
        const double lat0 = r.parkAirport ? e5.latitude : 50.0, lon0 = r.parkAirport ? e5.longitude : 8.5;
        if (!r.parkAirport) {
            // Far from the park airport: no stand file there.
            sim.user.lat_deg = lat0;
            sim.user.lon_deg = lon0 + 0.05;
        }
        // 1500 ft at 3 degrees: 4.7 nm out; then a roll-out on the runway.
        const double slope = std::tan(3.0 * kDegToRad);
        const double dist_m = 1500.0 * 0.3048 / slope;
        const double seconds = dist_m / (r.gs_kt * kKtToMs);
        ++hex;
        PathWriter path(lat0, lon0, -dist_m * std::sin(58 * kDegToRad), -dist_m * std::cos(58 * kDegToRad), hex,
                        "DLH" + std::to_string(hex % 1000));
        path.altitude(1500.0);
        path.leg(58, seconds, r.gs_kt, r.gs_kt, -1500.0 / seconds * 60.0);
        path.leg(58, 30, r.gs_kt, 15);
        for (FlightRecord& rec : path.records) {
            rec.type = r.type;
            rec.registration.clear();
        }
        double streamTouchdownLat = 0, streamTouchdownLon = 0;
        for (const FlightRecord& rec : path.records) {
            if (!rec.point.airborne) {
                streamTouchdownLat = rec.point.lat;
                streamTouchdownLon = rec.point.lon;
                break;
            }
        }
        double lowest = 1e9, climbedLow = 0;
        bool touchedDown = false, rolledOut = false, takeOffRun = false;
        double touchdownLat = 0, touchdownLon = 0;
        feed(path.records, 1500, [&] {
            const LiveAc* ac = liveAc(hex);
            if (!ac || ac->simState != SimState::active) return;
            if (ac->groundMode) {
                rolledOut |= ac->motion.landingRoll;
                takeOffRun |= ac->motion.more.takeOffRun;
                if (!touchedDown) {
                    touchdownLat = ac->pos.lat;
                    touchdownLon = ac->pos.lon;
                }
                touchedDown = true;
                return;
            }
            if (ac->heightAboveGround > 1000.0) return;
            lowest = std::min(lowest, ac->pos.alt);
            climbedLow = std::max(climbedLow, ac->pos.alt - lowest);
        });
        EXPECT_LT(climbedLow, 10.0) << "feet climbed below 1000 ft above the ground";
        ASSERT_TRUE(touchedDown);
        EXPECT_TRUE(rolledOut) << "touched down in its landing configuration";
        EXPECT_FALSE(takeOffRun) << "the roll-out is no take-off run";
        EXPECT_LT(gf_distanceNm({touchdownLat, touchdownLon}, {streamTouchdownLat, streamTouchdownLon}) * 1852.0, 400.0)
            << "metres from the stream's touchdown";
    }
}

// A helicopter coming down to its pad turns half a circle on the way: its
// reports, half a minute ahead of it, lie round the turn, off its present
// heading, and it flies them as reported, not a chord across the turn.
TEST_F(SyntheticPaths, AHelicopterTurningOnItsApproachFliesItsTurn) {
    HELICOPTERS.setValue(true);
    const std::uint32_t hex = 0x400210;
    sim.user.lat_deg = 50.0;
    sim.user.lon_deg = 8.55;
    PathWriter path(50.0, 8.5, 0.0, 0.0, hex, "REGA1");
    path.altitude(1000.0);
    path.leg(0, 80, 60, 60, -400.0);
    for (int s = 0; s < 36; ++s) path.leg(s * 5.0, 1, 60, 60, -200.0);
    path.leg(180, 40, 60, 30, -200.0);
    for (FlightRecord& rec : path.records) {
        rec.type = "EC35";
        rec.registration.clear();
    }
    const double east_m = kMetresPerDeg * std::cos(50.0 * kDegToRad);
    double off_m = 0.0;
    bool landing = false;
    feed(path.records, 1000, [&] {
        const LiveAc* ac = liveAc(hex);
        if (!ac || ac->simState != SimState::active || g_trafficTick.load() % 100 != 0) return;
        landing |= ac->motion.more.landing;
        double nearest = 1e9;
        for (std::size_t i = 1; i < path.records.size(); ++i) {
            const StreamPoint &a = path.records[i - 1].point, &b = path.records[i].point;
            const double ax = (a.lon - ac->pos.lon) * east_m, ay = (a.lat - ac->pos.lat) * kMetresPerDeg;
            const double dx = (b.lon - a.lon) * east_m, dy = (b.lat - a.lat) * kMetresPerDeg;
            const double f = std::clamp(-(ax * dx + ay * dy) / std::max(dx * dx + dy * dy, 1e-9), 0.0, 1.0);
            nearest = std::min(nearest, std::hypot(ax + f * dx, ay + f * dy));
        }
        off_m = std::max(off_m, nearest);
    });
    EXPECT_TRUE(landing) << "came down in its approach configuration";
    EXPECT_LT(off_m, 50.0) << "metres off its reported way";
}

TEST_F(SyntheticPaths, ParkedAircraftPushesBackTaxisAndTakesOff) {
    const Stand& d7 = standNamed("D7");
    PathWriter path(d7.latitude, d7.longitude, 0.0, 0.0);
    path.stand(60, 240);
    path.leg(60, 30, 3, 3);   // pushed back nose first toward 240, moving 060
    path.stand(30, 240);
    path.leg(330, 40, 10, 15);
    path.leg(0, 40, 15, 15);
    path.leg(58, 10, 10, 5);
    path.stand(10, 58);
    path.leg(58, 50, 0, 160);
    path.altitude(1.0);
    path.leg(58, 60, 160, 170, 2000);

    std::vector<FlightState> states;
    double liftOffGs = -1;
    feed(path.records, 1000, [&] {
        const LiveAc* ac = liveAc(kSyntheticHex);
        if (!ac || ac->simState != SimState::active) return;
        if (states.empty() || states.back() != ac->flightState) states.push_back(ac->flightState);
        if (liftOffGs < 0 && !ac->groundMode && ac->flightState == FlightState::take_off)
            liftOffGs = ac->stream.front().gs;
    });
    const LiveAc* ac = liveAc(kSyntheticHex);
    ASSERT_NE(ac, nullptr);
    auto seen = [&](FlightState s) { return std::find(states.begin(), states.end(), s) != states.end(); };
    EXPECT_EQ(states.front(), FlightState::parked);
    EXPECT_TRUE(seen(FlightState::pushing_back));
    EXPECT_TRUE(seen(FlightState::taxi));
    EXPECT_TRUE(seen(FlightState::take_off));
    EXPECT_EQ(ac->flightState, FlightState::flying);
    EXPECT_GE(liftOffGs, 140.0) << "no rotation before the lift-off speed";
    EXPECT_GT(ac->pos.alt, 800.0);
}

// Parked at D7 (nose 240), the feed moves the aircraft forward: it pulls
// out nose first, with no push-back, and taxis away.
TEST_F(SyntheticPaths, AParkedAircraftMovedForwardPullsOutNoseFirst) {
    const Stand& d7 = standNamed("D7");
    PathWriter path(d7.latitude, d7.longitude, 0.0, 0.0);
    path.stand(60, 240);
    path.leg(240, 40, 3, 8);
    path.leg(270, 60, 10, 10);
    bool pushed = false, taxied = false;
    double worstOffNose = 0, lastLat = 0, lastLon = 0;
    feed(path.records, 1500, [&] {
        const LiveAc* ac = liveAc(kSyntheticHex);
        if (!ac || ac->simState != SimState::active) return;
        pushed |= ac->flightState == FlightState::pushing_back || ac->flightState == FlightState::pushed_back;
        const double moved = gf_distanceNm({lastLat, lastLon}, {ac->pos.lat, ac->pos.lon}) * 1852.0;
        if (ac->flightState == FlightState::taxi && moved > 0.02 && moved < 10) {
            taxied = true;
            const double course = gf_initialBearing({lastLat, lastLon}, {ac->pos.lat, ac->pos.lon});
            worstOffNose = std::max(worstOffNose, std::fabs(lf_toPiRange(course - ac->pos.heading)) * kRadToDeg);
        }
        lastLat = ac->pos.lat;
        lastLon = ac->pos.lon;
    });
    const LiveAc* ac = liveAc(kSyntheticHex);
    ASSERT_NE(ac, nullptr);
    EXPECT_FALSE(pushed);
    EXPECT_TRUE(taxied);
    EXPECT_LT(worstOffNose, 30.0) << "nose first";
    EXPECT_GT(gf_distanceNm({ac->pos.lat, ac->pos.lon}, {d7.latitude, d7.longitude}) * 1852.0, 300.0);
    EXPECT_NE(logText().find("D7      : KLM1234  pulling out"), std::string::npos);
}

TEST_F(SyntheticPaths, APushBackWithAQuarterTurnEndsWithTheNoseWhereTheRealOneTurnedAndTaxisOffNoseFirst) {
    // Nose 240 on D7; the tail swings left while pushed, so the nose turns
    // clockwise to 330, and the aircraft taxis off toward 330. Once with the
    // nose's true heading in the feed, once with only the track; with
    // STRAIGHT_PBS_ONLY the push stays straight and the nose stays at 240.
    for (const int variant : {0, 1, 2}) {
        const bool trueHeading = variant != 1, straight = variant == 2;
        SCOPED_TRACE(straight ? "straight push-backs only" : trueHeading ? "true heading" : "track only");
        STRAIGHT_PBS_ONLY.setValue(straight);
        g_liveAc.clear();
        const Stand& d7 = standNamed("D7");
        PathWriter path(d7.latitude, d7.longitude, 0.0, 0.0, kSyntheticHex + variant);
        auto noseAt = [&](double deg) { path.nose(deg, !trueHeading); };
        noseAt(240);
        path.stand(60, 240);
        for (double motion = 70; motion <= 150; motion += 10) {
            noseAt(motion + 180);
            path.leg(motion, 5, 3, 3);
        }
        noseAt(330);
        path.stand(20, 330);
        path.leg(330, 60, 8, 12);

        double pushedBackHeading = -1, worstOffNose = 0;
        bool pushed = false;
        double lastLat = 0, lastLon = 0;
        feed(path.records, 1500, [&] {
            const LiveAc* ac = liveAc(path.records.front().hexid);
            if (!ac || ac->simState != SimState::active) return;
            pushed |= ac->flightState == FlightState::pushing_back;
            if (ac->flightState == FlightState::pushed_back) pushedBackHeading = ac->pos.heading * kRadToDeg;
            const double moved = gf_distanceNm({lastLat, lastLon}, {ac->pos.lat, ac->pos.lon}) * 1852.0;
            if (ac->flightState == FlightState::taxi && pushedBackHeading >= 0 && moved > 0.02 && moved < 10) {
                const double course = gf_initialBearing({lastLat, lastLon}, {ac->pos.lat, ac->pos.lon});
                worstOffNose = std::max(worstOffNose, std::fabs(lf_toPiRange(course - ac->pos.heading)) * kRadToDeg);
            }
            lastLat = ac->pos.lat;
            lastLon = ac->pos.lon;
        });
        EXPECT_TRUE(pushed);
        if (straight) {
            EXPECT_NEAR(pushedBackHeading, 240.0, 10.0) << "pushed straight back";
            continue;
        }
        EXPECT_NEAR(pushedBackHeading, 330.0, 10.0) << "the nose turned clockwise, as the real one did";
        EXPECT_LT(worstOffNose, 30.0) << "taxis off nose first";
    }
}

TEST_F(SyntheticPaths, AStandStaysTakenWhileItsAircraftStandsThere) {
    // Two stands 200 m apart: P is born parked on the first, A taxis into the
    // free second one; then B heads for A's stand and C for P's.
    g_standList.clear();
    const double lat = 52.0, lonFree = 4.0, lonBorn = 4.003;
    addStand("S1", lat, lonBorn, 40.0);
    addStand("S2", lat, lonFree, 40.0);
    useParkAirport(lat, 4.0015);
    CUSTOM_PARKING_PERCENTAGE.setValue(100);  // no parked aircraft removed to keep a share of stands free
    const std::uint32_t standBorn = gf_standNumericId(g_standList[0]);
    const std::uint32_t standFree = gf_standNumericId(g_standList[1]);
    sim.user.lat_deg = lat;
    sim.user.lon_deg = lonFree - 0.08;
    auto parkedOn = [](std::uint32_t hex, std::uint32_t stand) {
        const LiveAc* ac = liveAc(hex);
        return ac && ac->simState == SimState::active && ac->flightState == FlightState::parked && ac->standId == stand;
    };
    for (double t : {0.0, 16.0, 32.0}) {
        Fix at{lat, lonBorn, 0.0, 0.0, 90.0, 1000.0 + t};
        takeBatch({record(0x400101, "DLH401", "A320", at)}, 30);
        fly(200);
    }
    fly(3500);
    ASSERT_TRUE(parkedOn(0x400101, standBorn));
    feed(taxiIn(lat, lonFree, 0x400102, "KLM402"), 3500, {});
    ASSERT_TRUE(parkedOn(0x400102, standFree)) << logText();
    const std::vector<FlightRecord> b = taxiIn(lat, lonFree, 0x400103, "KLM403");
    const std::vector<FlightRecord> c = taxiIn(lat, lonBorn, 0x400104, "KLM404");
    // How far B comes into A's wings, against the circle of both wings.
    double closest_m = std::numeric_limits<double>::infinity(), wings_m = 0.0;
    auto watch = [&] {
        const LiveAc* a = liveAc(0x400102);
        const LiveAc* n = liveAc(0x400103);
        if (!a || !n || a->simState != SimState::active || n->simState != SimState::active) return;
        closest_m = std::min(closest_m, gf_distanceNm({a->pos.lat, a->pos.lon}, {n->pos.lat, n->pos.lon}) * 1852.0);
        wings_m = (a->size + n->size) * 1852.0;
    };
    for (std::size_t i = 0; i < b.size(); ++i) {
        takeBatch({b[i], c[i]}, 30);
        fly(200, watch);
    }
    fly(3500, watch);
    // The feed no longer reports P: it gives way to the arrival that wants
    // its stand. A is still reported: it keeps its stand, and the second
    // arrival stops short of it. No stand holds two aircraft.
    EXPECT_TRUE(parkedOn(0x400104, standBorn)) << logText();
    EXPECT_TRUE(!liveAc(0x400101) || liveAc(0x400101)->simState != SimState::active);
    EXPECT_NE(logText().find("S1      : DLH401   removed, KLM404 wants to park there"), std::string::npos);
    EXPECT_NE(logText().find("S2      : KLM403   stops short of KLM402 parked there"), std::string::npos);
    EXPECT_TRUE(parkedOn(0x400102, standFree)) << "the reported occupant keeps its stand";
    for (std::uint32_t stand : {standBorn, standFree}) {
        EXPECT_LE(std::count_if(g_liveAc.begin(), g_liveAc.end(),
                                [&](const LiveAc& a) { return parkedOn(a.hexid, stand); }),
                  1);
    }
    EXPECT_NE(liveAc(0x400103) ? liveAc(0x400103)->standId : 0u, standFree);
    EXPECT_GT(wings_m, 0.0);
    EXPECT_GE(closest_m, wings_m) << "B stops before A's wings";
}

// A static aircraft stands on the stand an arrival taxis to: it makes way
// before the arrival comes within the wings of both, and the arrival parks
// there. The arrival turns in and slows from 30 kt to a stop on the stand,
// so its last segments are curves through two points each.
TEST_F(SyntheticPaths, AStaticOnTheArrivalsStandMakesWayBeforeTheWingsMeet) {
    g_standList.clear();
    const double lat = 52.0, lon = 4.0;
    addStand("S1", lat, lon, 40.0);
    useParkAirport(lat, 4.0015);
    CUSTOM_PARKING_PERCENTAGE.setValue(100);
    sim.user.lat_deg = lat;
    sim.user.lon_deg = lon - 0.08;
    AcBase base;
    base.hexid = 5;
    base.callsign = "KLM1093*";
    base.registration = "PH-EZA";
    base.type = "E190";
    base.size = 14.35 / 1852.0;  // half an E190's span
    g_staticAc.emplace_back(base, gf_standNumericId(g_standList[0]), lat, lon, 0.0, 0);
    g_staticAc.back().objectId = 900;
    g_staticAc.back().simState = SimState::active;
    double closest_m = std::numeric_limits<double>::infinity(), wings_m = 0.0;
    // Taxiing north at 30 kt, then turning in to the stand and slowing
    // evenly to 3 kt over the last 382 m, reported every 2 s, then standing:
    // its last segments are curves through two points each.
    std::vector<FlightRecord> records;
    const double turn = 73.0 * kDegToRad, leg_m = 382.0, leg_s = 46.0;
    auto at = [&](double east, double north) {
        return Fix{lat + north / kMetresPerDeg, lon + east / (kMetresPerDeg * std::cos(lat * kDegToRad)), 0.0};
    };
    for (double t = 0.0; t <= 36.0; t += 2.0) {
        Fix f = at(-leg_m * std::sin(turn), -leg_m * std::cos(turn) - (36.0 - t) * 30.0 * kKtToMs);
        f.gs_kt = 30.0, f.track_deg = 0.0, f.feedTime = 1000.0 + t;
        records.push_back(record(0x400102, "KLM402", "B738", f));
    }
    for (double t = 2.0; t <= leg_s + 30.0; t += 2.0) {
        const double i = std::min(t, leg_s), left_m = leg_m - (30.0 * i - 27.0 * i * i / (2.0 * leg_s)) / (16.5 * leg_s) * leg_m;
        Fix f = at(-left_m * std::sin(turn), -left_m * std::cos(turn));
        f.gs_kt = t < leg_s ? 30.0 - 27.0 * t / leg_s : 0.0, f.track_deg = 73.0, f.feedTime = 1036.0 + t;
        records.push_back(record(0x400102, "KLM402", "B738", f));
    }
    feed(records, 3500, [&] {
        const LiveAc* a = liveAc(0x400102);
        const bool standing = std::any_of(g_staticAc.begin(), g_staticAc.end(), [](const StaticAc& st) {
            return st.hexid == 5 && st.simState == SimState::active;
        });
        if (!a || a->simState != SimState::active || !standing) return;
        closest_m = std::min(closest_m, gf_distanceNm({a->pos.lat, a->pos.lon}, {lat, lon}) * 1852.0);
        wings_m = (a->size + base.size) * 1852.0;
    });
    const LiveAc* arrival = liveAc(0x400102);
    ASSERT_NE(arrival, nullptr);
    EXPECT_EQ(arrival->flightState, FlightState::parked) << logText();
    EXPECT_EQ(gf_standNameOf(arrival->standId), "S1");
    EXPECT_NE(logText().find("S1      : KLM1093* PH-EZA makes way for KLM402"), std::string::npos) << logText();
    EXPECT_GT(wings_m, 0.0);
    EXPECT_GE(closest_m, wings_m) << "the static stood until the arrival was inside its wings";
}

// Two stands 30 m apart, too close for two airliners' wings: an aircraft
// parking on one removes the one parked on the other.
TEST_F(SyntheticPaths, ParkingOnAStandClearsTheAdjacentOneWhenTheWingsWouldMeet) {
    g_standList.clear();
    const double lat = 52.0, lonBorn = 4.0, lonNext = 4.0 + 30.0 / (kMetresPerDeg * std::cos(lat * kDegToRad));
    addStand("S1", lat, lonBorn, 40.0);
    addStand("S2", lat, lonNext, 40.0);
    g_standList[0].adjacent = {g_standList[1].number};
    g_standList[1].adjacent = {g_standList[0].number};
    useParkAirport(lat, 4.0015);
    CUSTOM_PARKING_PERCENTAGE.setValue(100);
    sim.user.lat_deg = lat;
    sim.user.lon_deg = lonBorn - 0.08;
    for (double t : {0.0, 16.0, 32.0}) {
        takeBatch({record(0x400101, "DLH401", "A320", Fix{lat, lonBorn, 0.0, 0.0, 90.0, 1000.0 + t})}, 30);
        fly(200);
    }
    fly(3500);
    ASSERT_NE(liveAc(0x400101), nullptr);
    ASSERT_EQ(liveAc(0x400101)->flightState, FlightState::parked);
    feed(taxiIn(lat, lonNext, 0x400102, "KLM402"), 3500, {});
    const LiveAc* parker = liveAc(0x400102);
    ASSERT_NE(parker, nullptr);
    EXPECT_EQ(parker->flightState, FlightState::parked);
    EXPECT_EQ(gf_standNameOf(parker->standId), "S2");
    const LiveAc* neighbour = liveAc(0x400101);
    EXPECT_TRUE(!neighbour || neighbour->simState != SimState::active) << "the aircraft on S1 made way";
    EXPECT_NE(logText().find("removed by parking KLM402 at adjacent and possibly colliding stand S2"),
              std::string::npos);
}

}  // namespace

namespace {

// Parked at D7 until the feed falls silent (its stream then waits a week on
// the stand), five minutes later the same flight is reported airborne 5 km
// away: it leaves the stand and its flight shows.
TEST_F(SyntheticPaths, ParkedAircraftReappearingInTheAirLeavesItsStand) {
    const Stand& d7 = standNamed("D7");
    PathWriter stand(d7.latitude, d7.longitude, 0.0, 0.0);
    stand.stand(60, 240);
    feed(stand.records, 3000, {});
    const LiveAc* parked = liveAc(kSyntheticHex);
    ASSERT_NE(parked, nullptr);
    ASSERT_EQ(parked->flightState, FlightState::parked);
    fly(30000);
    ASSERT_NE(liveAc(kSyntheticHex), nullptr);
    EXPECT_EQ(liveAc(kSyntheticHex)->flightState, FlightState::parked) << "waits on its stand through the silence";

    PathWriter air(d7.latitude, d7.longitude, 5000.0, 0.0);
    air.altitude(2000.0);
    air.leg(90, 120, 180, 180);
    for (FlightRecord& r : air.records) r.feedTime += 360.0;
    feed(air.records, 1500, {});
    const LiveAc* ac = liveAc(kSyntheticHex);
    ASSERT_NE(ac, nullptr);
    EXPECT_EQ(ac->simState, SimState::active);
    EXPECT_EQ(ac->flightState, FlightState::flying);
    EXPECT_EQ(ac->standId, 0u);
    EXPECT_GT(gf_distanceNm({ac->pos.lat, ac->pos.lon}, {d7.latitude, d7.longitude}) * 1852, 4000.0);
}

}  // namespace

namespace {

// Parked at D7, its stream waiting a week on the stand, the aircraft is
// reported with its next flight's callsign: it respawns on the spot under
// the new callsign.
TEST_F(SyntheticPaths, ParkedAircraftTakesItsNextFlightsCallsignOnItsStand) {
    const Stand& d7 = standNamed("D7");
    PathWriter stand(d7.latitude, d7.longitude, 0.0, 0.0);
    stand.stand(120, 240);
    std::vector<FlightRecord> records = stand.records;
    for (std::size_t i = records.size() / 2; i < records.size(); ++i) records[i].callsign = "KLM1235";
    feed(records, 3000, {});
    const LiveAc* ac = liveAc(kSyntheticHex);
    ASSERT_NE(ac, nullptr);
    EXPECT_EQ(ac->callsign, "KLM1235");
    EXPECT_EQ(ac->flightState, FlightState::parked);
    EXPECT_EQ(gf_standNameOf(ac->standId), "D7");
    EXPECT_NE(sim.objectWithCallsign("KLM1235"), nullptr) << "created again under the new callsign";
    EXPECT_EQ(sim.objectWithCallsign("KLM1234"), nullptr);
}

}  // namespace

namespace {

// A transponder that keeps reporting one position on a taxiway with the
// ground speed of a take-off (a stale or faulty transmitter), polled every
// 2 s for five minutes, its position exact or wandering a few metres or,
// as receivers do, 30 m about it: the positions win, the aircraft stays
// where it is. (Two reports 16 m apart or more, each at 180 kt, looked like
// a take-off run, which the stream's extension then carried off the ground.)
TEST_F(SyntheticPaths, AReportThatDoesNotMoveStaysPutWhateverItsGroundSpeed) {
    std::uint32_t hex = 0x4b1800;
    for (const double jitter_deg : {0.0, 0.00002, 0.0003}) {
        SCOPED_TRACE(fmt::format("positions {} degrees about one place", jitter_deg));
        g_liveAc.clear();
        ++hex;
        const double lat = kEhamLat - 0.01, lon = kEhamLon + 0.005;
        double farthest_m = 0.0;
        bool takeOffRun = false;
        for (int i = 0; i < 150; ++i) {
            const double j = (i % 3 == 1) ? jitter_deg : (i % 3 == 2 ? -jitter_deg : 0.0);
            const Fix fix{lat + j, lon, 0.0, 180.0 + (i % 16), 250.0, 1000.0 + 2.0 * i};
            takeBatch({record(hex, "KLM1799", "B738", fix)}, 30);
            fly(200, [&] {
                const LiveAc* ac = liveAc(hex);
                if (!ac || ac->simState != SimState::active) return;
                farthest_m = std::max(farthest_m, gf_distanceNm({ac->pos.lat, ac->pos.lon}, {lat, lon}) * 1852.0);
                takeOffRun |= ac->motion.more.takeOffRun;
            });
        }
        EXPECT_LT(farthest_m, 40.0) << "metres from the reported place";
        EXPECT_FALSE(takeOffRun);
    }
}

}  // namespace
namespace {

// Airliners on 3 and 5.5 degree approaches from 3000 ft, at the park airport
// and at an airport without stands: each takes its approach configuration
// at the same height (not only once the ground shows in its stream, 30 s
// before the touchdown) and touches down close to where its stream does,
// the steep one too (its flare no longer floats far down the runway).
TEST_F(SyntheticPaths, ApproachesConfigureAtOneHeightAndTouchDownWhereTheStreamDoes) {
    struct Row {
        double slope_deg;
        bool parkAirport;
    };
    std::uint32_t hex = 0x400300;
    for (const Row r : {Row{3.0, true}, Row{3.0, false}, Row{5.5, true}, Row{5.5, false}}) {
        SCOPED_TRACE(fmt::format("{} degrees{}", r.slope_deg, r.parkAirport ? " at the park airport" : " elsewhere"));
        g_liveAc.clear();
        const Stand& e5 = standNamed("E5");
        const double lat0 = r.parkAirport ? e5.latitude : 50.0, lon0 = r.parkAirport ? e5.longitude : 8.5;
        sim.user.lat_deg = r.parkAirport ? kEhamLat : lat0;
        sim.user.lon_deg = r.parkAirport ? kEhamLon : lon0 + 0.05;
        const double gs = 140.0;
        const double dist_m = 3000.0 * 0.3048 / std::tan(r.slope_deg * kDegToRad);
        const double seconds = dist_m / (gs * kKtToMs);
        ++hex;
        PathWriter path(lat0, lon0, -dist_m * std::sin(58 * kDegToRad), -dist_m * std::cos(58 * kDegToRad), hex,
                        "DLH" + std::to_string(hex % 1000));
        path.altitude(3000.0);
        path.leg(58, seconds, gs, gs, -3000.0 / seconds * 60.0);
        path.leg(58, 30, gs, 15);
        double streamTdLat = 0, streamTdLon = 0;
        for (const FlightRecord& rec : path.records)
            if (!rec.point.airborne) {
                streamTdLat = rec.point.lat;
                streamTdLon = rec.point.lon;
                break;
            }
        double configHeight = -1;
        bool before = false, touched = false;
        double tdLat = 0, tdLon = 0;
        feed(path.records, 1500, [&] {
            const LiveAc* ac = liveAc(hex);
            if (!ac || ac->simState != SimState::active) return;
            const bool landing = ac->motion.more.landing;
            if (landing && !before && !touched) configHeight = ac->pos.alt - cg_ft - elevation_ft;
            before = landing;
            if (ac->groundMode && !touched) {
                touched = true;
                tdLat = ac->pos.lat;
                tdLon = ac->pos.lon;
            }
        });
        const double off_m = gf_distanceNm({tdLat, tdLon}, {streamTdLat, streamTdLon}) * 1852.0;
        std::printf("%.1f deg %s: configured at %.0f ft, touchdown %.0f m from the stream's\n", r.slope_deg,
                    r.parkAirport ? "park" : "elsewhere", configHeight, off_m);
        ASSERT_TRUE(touched);
        // Measured: configured at 1870 to 1990 ft; touchdown 30 m (3 degrees)
        // and 140 m (5.5 degrees) beyond the stream's.
        EXPECT_GT(configHeight, 1500.0) << "feet above the ground";
        EXPECT_LT(off_m, 180.0) << "metres from the stream's touchdown";
    }
}

}  // namespace

namespace {

// An arrival at an airport 1400 ft high that has no stand file: the feed
// reports the roll-out with the pressure altitude of the runway (no ground
// reports there), flickering by one 25 ft step, corrected with a QNH that
// matches or lies 8 hPa above the local one (216 ft): the wheels meet the
// simulator's runway and stay on it; the roll-out is no touch-and-go.
TEST_F(SyntheticPaths, ARollOutReportedInTheAirRollsOnTheSimulatorsRunway) {
    elevation_ft = 1400.0;
    std::uint32_t hex = 0x400400;
    for (const double error_ft : {0.0, 216.0}) {
        SCOPED_TRACE(fmt::format("altitudes {} ft high", error_ft));
        g_liveAc.clear();
        const double lat0 = 50.0, lon0 = 8.5;
        sim.user.lat_deg = lat0;
        sim.user.lon_deg = lon0 + 0.05;
        const double dist_m = 2500.0 * 0.3048 / std::tan(3.0 * kDegToRad);
        const double seconds = dist_m / (140.0 * kKtToMs);
        ++hex;
        PathWriter path(lat0, lon0, -dist_m * std::sin(58 * kDegToRad), -dist_m * std::cos(58 * kDegToRad), hex,
                        "DLH" + std::to_string(hex % 1000));
        path.altitude(2500.0);
        path.leg(58, seconds, 140, 140, -2500.0 / seconds * 60.0);
        path.leg(58, 40, 140, 40);
        std::size_t i = 0;
        for (FlightRecord& rec : path.records) {
            const double flicker = (++i % 2) ? 0.0 : 25.0;
            rec.point.alt = rec.point.airborne ? rec.point.alt + 1400.0 + error_ft : 1400.0 + error_ft + flicker;
            rec.point.airborne = true;
            if (rec.point.alt <= 1400.0 + error_ft + 25.0) rec.point.vrate = 0.0;
        }
        double rollOutMax = 0;
        bool touched = false, takeOffRun = false;
        feed(path.records, 1500, [&] {
            const LiveAc* ac = liveAc(hex);
            if (!ac || ac->simState != SimState::active) return;
            touched |= ac->groundMode != 0;
            takeOffRun |= ac->motion.more.takeOffRun || ac->flightState == FlightState::take_off;
            if (touched) rollOutMax = std::max(rollOutMax, ac->pos.alt - cg_ft - elevation_ft);
        });
        // Before: with the QNH right a touch-and-go took it off the runway
        // again; 8 hPa high it rolled out 220 ft above the runway.
        std::printf("error %.0f ft: touched %d, take-off %d, wheels at most %.1f ft after touchdown\n", error_ft,
                    touched, takeOffRun, rollOutMax);
        EXPECT_TRUE(touched);
        EXPECT_FALSE(takeOffRun);
        EXPECT_LT(rollOutMax, 10.0);
    }
}

}  // namespace

namespace {

// A 3 degree approach at 140 kt (743 fpm) to an airport without stands
// whose reports, read with a QNH off the local one, put the runway above or
// below the simulator's: the aircraft takes the difference in from its
// landing configuration on, never sinking more than about 300 fpm beyond
// the reported rate nor climbing on final, and still touches down where
// its stream does. The part the weather's QNH explains (its correction
// against the standard pressure) is known from the start of the approach;
// a gap it does not explain shows only with the ground points, some 25 s
// before the touchdown, and is taken in over that time. Measured before,
// for a gap the QNH explains: 150 ft above sank 597 fpm beyond the
// reported rate, 300 ft above 1,184 fpm (touchdown 252 m from the
// stream's), the slow one 150 ft below landed 664 m long; after: 300 fpm,
// no climb, touchdowns 137 m (the slow one 62 m).
TEST_F(SyntheticPaths, TheQnhGapIsTakenInOverTheApproach) {
    std::uint32_t hex = 0x400500;
    struct Row {
        double offset_ft, gs_kt;
        int qnh_hpa;            // the weather's, that the reports are corrected with
        double excessMax_fpm;   // beyond the reported sink
        double touchdownMax_m;  // from the stream's; 0: printed only
        double level_s = 0.0;   // a level stretch 400 ft down the approach
    };
    // The slow ones (239 fpm): taking in the gap by sinking slower alone
    // would make them climb. With a gap the QNH does not explain the slow
    // one holds its height for the last 30 s and lands long (its figure is
    // printed); such a gap comes in over the last 25 s, 60 fpm per 25 ft.
    // The approach without a gap lands 165 m long, as it did before.
    const Row rows[] = {
        {0.0, 140, 1013, 310.0, 180.0},     {150.0, 140, 1019, 330.0, 160.0},  {300.0, 140, 1024, 330.0, 160.0},
        {-150.0, 140, 1007, 330.0, 160.0},  {-150.0, 45, 1007, 330.0, 160.0},  {150.0, 140, 1013, 610.0, 300.0},
        {300.0, 140, 1013, 1210.0, 300.0},  {-150.0, 140, 1013, 310.0, 300.0}, {-150.0, 45, 1013, 310.0, 0.0},
        // Reports 350 ft low, still rising to them on the level stretch.
        {-350.0, 140, 1000, 330.0, 160.0, 30.0},
    };
    for (const Row& r : rows) {
        const double offset_ft = r.offset_ft, gs_kt = r.gs_kt;
        SCOPED_TRACE(fmt::format("reports {} ft above the simulator's runway at {} kt, QNH {}", offset_ft, gs_kt,
                                 r.qnh_hpa));
        g_engineQnh = r.qnh_hpa;
        g_liveAc.clear();
        const double lat0 = 50.0, lon0 = 8.5;
        sim.user.lat_deg = lat0;
        sim.user.lon_deg = lon0 + 0.05;
        const double dist_m = 2000.0 * 0.3048 / std::tan(3.0 * kDegToRad);
        const double seconds = dist_m / (gs_kt * kKtToMs);
        const double reportedSink_fpm = 2000.0 / seconds * 60.0;
        const double from_m = dist_m + r.level_s * gs_kt * kKtToMs;
        ++hex;
        PathWriter path(lat0, lon0, -from_m * std::sin(58 * kDegToRad), -from_m * std::cos(58 * kDegToRad), hex,
                        "DLH" + std::to_string(hex % 1000));
        path.altitude(2000.0);
        const double toLevel_s = r.level_s > 0.0 ? std::round(seconds * 0.2) : 0.0;
        path.leg(58, toLevel_s, gs_kt, gs_kt, -reportedSink_fpm);
        path.leg(58, r.level_s, gs_kt, gs_kt, 0.0);
        path.leg(58, seconds - toLevel_s, gs_kt, gs_kt, -reportedSink_fpm);
        path.leg(58, 30, gs_kt, 15);
        double tdLat = 0, tdLon = 0;
        for (FlightRecord& rec : path.records) {
            if (rec.point.airborne) rec.point.alt += elevation_ft + offset_ft;
            else if (tdLat == 0) tdLat = rec.point.lat, tdLon = rec.point.lon;
        }
        double excess = -1e9, excessAt = 0, climb = -1e9, climbAt = 0;
        bool touched = false;
        double atLat = 0, atLon = 0;
        feed(path.records, 1500, [&] {
            const LiveAc* ac = liveAc(hex);
            if (!ac || ac->simState != SimState::active || touched) return;
            if (ac->groundMode) {
                touched = true;
                atLat = ac->pos.lat, atLon = ac->pos.lon;
                return;
            }
            const double wheels = ac->pos.alt - cg_ft - elevation_ft;
            if (wheels > 2000.0 || ac->motion.more.flareStage > 0) return;
            const double rate = ac->motion.verticalSpeed_ftPerTick * 6000.0;
            // The reports sink at the approach's rate, or not at all on the level stretch.
            const double reported = ac->motion.targetVerticalRate_fpm == 0.0 ? 0.0 : reportedSink_fpm;
            if (-rate - reported > excess) excess = -rate - reported, excessAt = wheels;
            if (rate > climb && wheels >= 20.0) climb = rate, climbAt = wheels;
        });
        const double off_m = gf_distanceNm({atLat, atLon}, {tdLat, tdLon}) * 1852.0;
        std::printf("reports %+.0f ft at %.0f kt, QNH %d: sink at most %.0f fpm beyond the reported (at %.0f ft), climb "
                    "at most %.0f fpm (at %.0f ft), touchdown %.0f m from the stream's\n",
                    offset_ft, gs_kt, r.qnh_hpa, excess, excessAt, climb, climbAt, off_m);
        ASSERT_TRUE(touched);
        EXPECT_LT(excess, r.excessMax_fpm) << "fpm beyond the reported sink";
        EXPECT_LT(climb, 20.0) << "fpm climbing on final";
        if (r.touchdownMax_m > 0.0) {
            EXPECT_LT(off_m, r.touchdownMax_m) << "metres from the stream's touchdown";
        }
    }
}

}  // namespace
