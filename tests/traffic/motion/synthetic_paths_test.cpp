// Whole ground journeys on the sample EHAM stand file over flat terrain, fed
// through the intake every 2 s as the service delivers them: a landing that
// flares, rolls out, leaves the runway and parks; a parked aircraft that
// pushes back, taxis and takes off.
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "airports/park_airport_state.h"
#include "core/log.h"
#include "motion_harness.h"
#include "traffic/traffic_state.h"

namespace {

constexpr double kMetresPerDeg = 111132.95;
constexpr double kKtToMs = 0.514444;
constexpr std::uint32_t kHex = 0x484506;

// A path in metres east and north of an origin, sampled every 2 s.
class PathWriter {
public:
    PathWriter(double lat0, double lon0, double east, double north) : m_lat0(lat0), m_lon0(lon0), m_e(east), m_n(north) {}

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

    std::vector<FlightRecord> records;

private:
    void sample(double track, double gs, double vrate) {
        m_time += 1.0;
        if (std::fmod(m_time, 2.0) != 0.0) return;
        FlightRecord r;
        r.hexid = kHex;
        r.callsign = "KLM1234";
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
        records.push_back(r);
    }

    double m_lat0, m_lon0, m_e, m_n;
    double m_alt = 0.0;
    double m_time = 1000.0;
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
        const LiveAc* ac = liveAc(kHex);
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
    const LiveAc* ac = liveAc(kHex);
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
        const LiveAc* ac = liveAc(kHex);
        if (!ac || ac->simState != SimState::active) return;
        if (states.empty() || states.back() != ac->flightState) states.push_back(ac->flightState);
        if (liftOffGs < 0 && !ac->groundMode && ac->flightState == FlightState::take_off)
            liftOffGs = ac->stream.front().gs;
    });
    const LiveAc* ac = liveAc(kHex);
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
    const LiveAc* parked = liveAc(kHex);
    ASSERT_NE(parked, nullptr);
    ASSERT_EQ(parked->flightState, FlightState::parked);
    fly(30000);
    ASSERT_NE(liveAc(kHex), nullptr);
    EXPECT_EQ(liveAc(kHex)->flightState, FlightState::parked) << "waits on its stand through the silence";

    PathWriter air(d7.latitude, d7.longitude, 5000.0, 0.0);
    air.altitude(2000.0);
    air.leg(90, 120, 180, 180);
    for (FlightRecord& r : air.records) r.feedTime += 360.0;
    feed(air.records, 1500, {});
    const LiveAc* ac = liveAc(kHex);
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
    const LiveAc* ac = liveAc(kHex);
    ASSERT_NE(ac, nullptr);
    EXPECT_EQ(ac->callsign, "KLM1235");
    EXPECT_EQ(ac->flightState, FlightState::parked);
    EXPECT_EQ(gf_standNameOf(ac->standId), "D7");
    EXPECT_NE(sim.objectWithCallsign("KLM1235"), nullptr) << "created again under the new callsign";
    EXPECT_EQ(sim.objectWithCallsign("KLM1234"), nullptr);
}

}  // namespace
