// Static parked traffic through the engine harness: the wanted count and the
// widening search over stand options, parked traffic matched to stands, the
// static aircraft made one at a time, the renewal and the user-aircraft
// conflicts.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "airports/park_airport_state.h"
#include "airports/park_airports.h"
#include "airports/park_stand_file.h"
#include "app/run_state.h"
#include "core/settings.h"
#include "simlink/sim_state.h"
#include "traffic/engine_support.h"
#include "traffic/static_parking.h"
#include "traffic/traffic_state.h"
#include "traffic_harness.h"

namespace {

constexpr double kLat = 52.3;
constexpr double kLon = 4.76;
constexpr double kLonPer30m = 30.0 / (1852.0 * 60.0 * std::cos(kLat * kDegToRad));
// Wednesday, 10:00 UTC, as the harness sets the clock.
constexpr WeekSlot kNow{3, 20};

StandOption option(const std::string& airline, const std::string& type, const std::string& cs, int halfHour,
                   int day = kNow.weekday, const std::string& reg = {}) {
    StandOption o;
    o.airline = airline;
    o.type = type;
    o.cs = cs;
    o.reg = reg;
    o.halfHours = std::uint64_t{1} << halfHour;
    o.index = 1;
    o.day = static_cast<std::uint32_t>(day);
    o.origin = 1;
    o.real = 1;
    return o;
}

ParkedRecord parked(std::uint32_t hexid, const std::string& cs, double lat, double lon, int age = 2,
                    const std::string& type = "B738", const std::string& reg = {}) {
    ParkedRecord r;
    r.hexid = hexid;
    r.callsign = cs;
    r.airline = "KLM";
    r.type = type;
    r.registration = reg;
    r.lat = lat;
    r.lon = lon;
    r.slot = age;
    r.standName = "EHAM_X";
    return r;
}

class StaticParkingTest : public TrafficHarness {
protected:
    void SetUp() override {
        TrafficHarness::SetUp();
        useParkAirport(kLat, kLon);
        gf_resetStaticCounter();
        setParked({});
    }
    void TearDown() override {
        gf_setParkedTrafficSource(nullptr, false);
        TrafficHarness::TearDown();
    }
    // n stands in a row 30 m apart, 20 m radius: each one's neighbours are
    // the stands beside it.
    static void row(int n, bool withNeighbours = true) {
        for (int i = 0; i < n; ++i) addStand("S" + std::to_string(i + 1), kLat, kLon + i * kLonPer30m, 20.0);
        if (withNeighbours) gf_numberStandsAndNeighbours(g_standList);
    }
    static void setParked(std::vector<ParkedRecord> records) {
        gf_setParkedTrafficSource([records]() -> std::optional<std::vector<ParkedRecord>> { return records; }, true);
    }
    // The calculation after the stand file was read.
    static void calculate() {
        lf_clearStandSearchMarks();
        lf_markReservedStands();
        lf_askParkedTraffic([](const std::optional<std::vector<ParkedRecord>>& answer) {
            lf_finishParkingPositions(kNow, answer);
        });
        gf_staticParkingPass();
    }
    static std::vector<std::string> positionStands() {
        std::vector<std::string> names;
        for (const ParkingPosition& p : g_parkingPositions) names.push_back(gf_standNameOf(p.standId));
        std::sort(names.begin(), names.end());
        return names;
    }
    static StaticAc* staticOn(const std::string& stand) {
        for (StaticAc& s : g_staticAc)
            if (gf_standNameOf(s.standId) == stand) return &s;
        return nullptr;
    }
};

// ---- Wanted count and the search over stand options ----

struct FitRow {
    const char* name;
    int percentage;
    int custom;
    int maxParkSel;
    int maxFit;
    bool week;
    std::size_t positions;
    int realFit;
    const char* logged;
    // What the window's state band shows afterwards.
    int shownWanted;
    int shownPercent;
    bool weekMark;
};

TEST_F(StaticParkingTest, WantedCountAndWideningFit) {
    // Ten stands without neighbours; stand i has a KLM option i half-hours
    // before now (stand 10 one on another weekday at now).
    const int offsets[] = {0, 1, 1, 3, 5, 6, 7, 8, 9};
    const FitRow rows[] = {
        {"30 % of 10 is 3, reached at fit 1", 30, -1, 500, 47, false, 3, 1, "3 real positions found", 3, 30, false},
        {"custom 50 % is 5, reached at fit 5", 30, 50, 500, 47, false, 5, 5, "5 real positions found", 5, 50, false},
        {"MAX_PARK_SEL caps the count", 30, 50, 2, 47, false, 2, 1, "2 positions (20% vs wanted 30%", 2, 20, false},
        {"MAX_PARK_SEL 0 parks nothing", 30, -1, 0, 47, false, 0, -1, "no parking positions found", 0, 30, false},
        {"MAX_FIT ends the search", 30, 50, 500, 2, false, 3, 2, "3 positions (30% vs wanted 30%", 5, 50, false},
        {"WEEK adds the other weekday", 100, -1, 500, 47, true, 10, 0, "1 week/real position found", 10, 100, true},
    };
    for (const FitRow& row : rows) {
        SCOPED_TRACE(row.name);
        TearDown();
        SetUp();
        parking_percentage.setValue(row.percentage);
        CUSTOM_PARKING_PERCENTAGE.setValue(row.custom);
        MAX_PARK_SEL.setValue(row.maxParkSel);
        MAX_FIT.setValue(row.maxFit);
        WEEK.setValue(row.week);
        this->row(10, false);
        for (int i = 0; i < 9; ++i)
            g_standList[i].options.push_back(option("KLM", "B738", "KLM" + std::to_string(100 + i), 20 - offsets[i]));
        g_standList[9].options.push_back(option("KLM", "B738", "KLM199", 20, 5));
        calculate();
        EXPECT_EQ(g_parkingPositions.size(), row.positions);
        if (row.realFit >= 0) {
            EXPECT_EQ(g_reachedRealFit, row.realFit);
        }
        EXPECT_NE(logText().find(row.logged), std::string::npos) << logText();
        EXPECT_EQ(g_wantedParkShown.load(), row.shownWanted);
        EXPECT_EQ(g_wantedParkPercentShown.load(), row.shownPercent);
        EXPECT_FALSE(g_softSearchShown.load()) << "no soft search without PARK_SOFT";
        EXPECT_EQ(g_weekSearchShown.load(), row.weekMark);
        // The youngest position is created first: it stands at the back.
        if (g_parkingPositions.size() > 1) {
            EXPECT_LE(g_parkingPositions.back().sortKey, g_parkingPositions.front().sortKey);
        }
    }
}

// ---- Parked traffic on stands ----

struct MatchRow {
    const char* name;
    ParkedRecord record;
    const char* stand;  // empty: no position
    const char* logged;
};

TEST_F(StaticParkingTest, ParkedTrafficMatchedToFreeStands) {
    // S1 reserved, S3 under the user aircraft; the others free. 100 m
    // between stands, so no neighbours.
    const double lonPer100m = kLonPer30m * 100.0 / 30.0;
    const MatchRow rows[] = {
        {"on a free stand", parked(0x4845d1, "KLM1391", kLat, kLon + 1 * lonPer100m + kLonPer30m), "S2", ""},
        {"100 m off a free stand", parked(0x4845d1, "KLM1391", kLat + 0.0009, kLon + 1 * lonPer100m), "S2", ""},
        {"beyond 110 m", parked(0x4845d1, "KLM1391", kLat + 0.0011, kLon + 4 * lonPer100m), "",
         "===> no stand for PT 52.301100,"},
        {"reserved stand", parked(0x4845d1, "KLM1391", kLat, kLon), "", ""},
        {"the user's stand", parked(0x4845d1, "KLM1391", kLat, kLon + 2 * lonPer100m), "", ""},
        {"no callsign", parked(0x4845d1, "", kLat, kLon + 3 * lonPer100m), "", ""},
        {"flying in the live feed", parked(0x4845d9, "KLM1391", kLat, kLon + 3 * lonPer100m), "", ""},
        {"its ghost in the live feed", parked(0x4845d1, "KLM77", kLat, kLon + 3 * lonPer100m), "", ""},
    };
    for (const MatchRow& row : rows) {
        SCOPED_TRACE(row.name);
        TearDown();
        SetUp();
        for (int i = 0; i < 5; ++i) addStand("S" + std::to_string(i + 1), kLat, kLon + i * lonPer100m, 20.0);
        g_reservedStand.set("S1");
        sim.userOnGroundFlag = true;
        g_userAcData.lat_deg = kLat;
        g_userAcData.lon_deg = kLon + 2 * lonPer100m;
        g_collectedHexids = {0x4845d9};
        g_collectedCallsigns = {"KLM77_"};
        lf_clearStandSearchMarks();
        lf_markReservedStands();
        lf_matchParkTraffic({row.record}, kNow);
        EXPECT_EQ(positionStands(), row.stand[0] ? std::vector<std::string>{row.stand} : std::vector<std::string>{});
        if (row.logged[0]) {
            EXPECT_NE(logText().find(row.logged), std::string::npos) << logText();
        }
    }
}

TEST_F(StaticParkingTest, ParkedTrafficOnlyKeepsEveryMatchBeyondTheWantedCount) {
    const double lonPer100m = kLonPer30m * 100.0 / 30.0;
    const struct {
        bool ptOnly;
        std::size_t positions;
    } rows[] = {{false, 2}, {true, 4}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.ptOnly ? "parked traffic only" : "wanted count");
        TearDown();
        SetUp();
        RT_PARKTRAFFIC_ONLY.setValue(r.ptOnly);
        std::vector<ParkedRecord> records;
        for (int i = 0; i < 6; ++i) {
            addStand("S" + std::to_string(i + 1), kLat, kLon + i * lonPer100m, 20.0);
            if (i < 4) records.push_back(parked(0x4845d0u + i, "KLM" + std::to_string(i), kLat, kLon + i * lonPer100m, i));
        }
        setParked(records);
        calculate();  // 30 % of 6 stands: 2 wanted
        EXPECT_EQ(g_parkingPositions.size(), r.positions);
    }
}

// ---- Static aircraft made from positions ----

struct DetcsRow {
    const char* name;
    ParkingPosition position;
    const char* callsign;  // empty: nothing created
    const char* logged;
};

ParkingPosition position(const std::string& cs, const std::string& cs2 = {}, bool first = true,
                         const std::string& reg = {}, std::uint32_t standId = 1) {
    ParkingPosition p;
    p.origin = 1;
    p.standId = standId;
    p.airline = "KLM";
    p.type = "B738";
    p.callsign = cs;
    p.secondCallsign = cs2;
    p.registration = reg;
    p.callsignFirst = first;
    return p;
}

TEST_F(StaticParkingTest, StaticCallsignsAndRefusals) {
    const DetcsRow rows[] = {
        {"callsign gets a star", position("KLM1391"), "KLM1391*", ""},
        {"no callsign: airline and counter", position(""), "KLM1*", ""},
        {"second callsign first, underscores cut", position("KLM12", "KLM13__", false), "KLM13*", ""},
        {"a star stays single", position("KLM12*"), "KLM12*", ""},
        {"second callsign empty: the first", position("KLM15", "", false), "KLM15*", ""},
        {"eleven characters pass", position("PH-BXA1234"), "PH-BXA1234*", ""},
        {"twelve characters never reach the simulator", position("PH-BXA12345"), "",
         "static callsign PH-BXA12345* is too long"},
        {"unknown stand", position("KLM1391", {}, true, {}, 99), "", "stand with id 99 not found"},
    };
    for (const DetcsRow& row : rows) {
        SCOPED_TRACE(row.name);
        TearDown();
        SetUp();
        this->row(1);
        g_parkingPositions = {row.position};
        lf_detcs();
        if (row.callsign[0]) {
            ASSERT_EQ(g_staticCreationQueue.size(), 1u);
            EXPECT_EQ(g_staticCreationQueue.front().callsign, row.callsign);
            EXPECT_EQ(g_staticCreationQueue.front().liveryTitle, "KLM B738");
            EXPECT_EQ(g_staticCreationQueue.front().position.onGround, 1u);
            ASSERT_EQ(g_staticAc.size(), 1u);
            EXPECT_EQ(g_staticAc[0].simState, SimState::adding2sim);
        } else {
            EXPECT_TRUE(g_staticCreationQueue.empty());
            EXPECT_TRUE(g_staticAc.empty());
        }
        if (row.logged[0]) {
            EXPECT_NE(logText().find(row.logged), std::string::npos) << logText();
        }
    }
}

TEST_F(StaticParkingTest, CounterSkipsHeldNumbers) {
    row(3);
    StaticAc held;
    held.hexid = 1;
    held.standId = 99;
    g_staticAc.push_back(held);
    g_parkingPositions = {position("", {}, true, {}, 3)};
    lf_detcs();
    ASSERT_EQ(g_staticCreationQueue.size(), 1u);
    EXPECT_EQ(g_staticCreationQueue.back().hexid, 2u) << "1 is still held";
    EXPECT_EQ(g_staticCreationQueue.back().callsign, "KLM2*");
}

TEST_F(StaticParkingTest, PositionWaitsForTheAircraftItReplaces) {
    row(3);
    StaticAc leaving;
    leaving.hexid = 7;
    leaving.standId = 2;
    leaving.callsign = "KLM9*";
    leaving.simState = SimState::removingfromsim;
    g_staticAc.push_back(leaving);
    g_parkingPositions = {position("KLM1391", {}, true, {}, 2)};
    lf_detcs();
    EXPECT_TRUE(g_staticCreationQueue.empty());
    ASSERT_EQ(g_parkingPositions.size(), 1u) << "kept for a later try";
    g_staticAc.clear();  // the simulator reported it removed
    lf_detcs();
    ASSERT_EQ(g_staticCreationQueue.size(), 1u);
    EXPECT_EQ(g_staticCreationQueue.front().callsign, "KLM1391*");
}

// A live aircraft parking on a stand or beside it keeps static aircraft off.
TEST_F(StaticParkingTest, LiveAircraftOnOrBesideTheStandBlocksIt) {
    row(3);
    LiveAc live;
    live.hexid = 0x400001;
    live.callsign = "DLH4AB";
    live.standId = 2;
    live.flightState = FlightState::parking;
    g_liveAc.push_back(live);
    g_parkingPositions = {position("KLM1", {}, true, {}, 3), position("KLM2", {}, true, {}, 2)};
    lf_detcs();
    lf_detcs();
    EXPECT_TRUE(g_staticCreationQueue.empty());
    const std::string log = logText();
    EXPECT_NE(log.find("S2      : no static parking for KLM2, live aircraft DLH4AB standing here"), std::string::npos);
    EXPECT_NE(log.find("S3      : no static parking for KLM1, live aircraft DLH4AB is adjacent at S2, possibly colliding"),
              std::string::npos);
}

// The stands fill to the wanted count, one aircraft every 0.5 s, none on a
// neighbour of another.
TEST_F(StaticParkingTest, StandsFillWithinHalfASecondEachWithoutNeighbours) {
    row(12);
    for (Stand& s : g_standList) s.options.push_back(option("KLM", "B738", "KLM" + s.id, 20));
    setParked({parked(0x4845d1, "KLM1391", kLat, kLon + 5 * kLonPer30m)});
    parking_percentage.setValue(50);
    calculate();
    const std::size_t wanted = g_parkingPositions.size();
    ASSERT_EQ(wanted, 6u);
    run(static_cast<int>(wanted) * 50 + 250);
    std::size_t active = 0;
    for (const StaticAc& s : g_staticAc) active += s.simState == SimState::active;
    EXPECT_EQ(active, wanted);
    EXPECT_TRUE(g_parkingPositions.empty());
    for (const StaticAc& a : g_staticAc) {
        const Stand* stand = nullptr;
        for (const Stand& s : g_standList)
            if (s.number == a.standId) stand = &s;
        ASSERT_NE(stand, nullptr);
        for (const StaticAc& b : g_staticAc) {
            if (&a == &b) continue;
            EXPECT_NE(a.standId, b.standId);
            EXPECT_EQ(std::count(stand->adjacent.begin(), stand->adjacent.end(), b.standId), 0)
                << a.callsign << " beside " << b.callsign;
        }
    }
    const FakeObject* pt = sim.objectWithCallsign("KLM1391*");
    ASSERT_NE(pt, nullptr);
    EXPECT_EQ(pt->title, "KLM B738");
    EXPECT_NEAR(pt->initial.longitude_deg, kLon + 5 * kLonPer30m, 1e-9);
}

// The parked-traffic request waits for the Traffic Reader; the passes do not
// wait with it.
TEST_F(StaticParkingTest, PassesRunWhileParkedTrafficIsFetched) {
    row(4);
    std::atomic<bool> release{false};
    gf_setParkedTrafficSource(
        [&release]() -> std::optional<std::vector<ParkedRecord>> {
            while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return std::vector<ParkedRecord>{parked(0x4845d1, "KLM1391", kLat, kLon)};
        },
        false);
    lf_askParkedTraffic([](const std::optional<std::vector<ParkedRecord>>& answer) {
        lf_finishParkingPositions(kNow, answer);
    });
    run(100);
    EXPECT_TRUE(gf_parkedRequestPending());
    EXPECT_EQ(g_trafficTick.load(), 100);
    release = true;
    for (int i = 0; i < 5000 && gf_parkedRequestPending(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        run(1);
    }
    EXPECT_FALSE(gf_parkedRequestPending());
    run(100);
    EXPECT_NE(sim.objectWithCallsign("KLM1391*"), nullptr);
}

// ---- Leaving the park airport in the air ----

struct SightRow {
    const char* name;
    bool onGround;
    double currentDist_nm;
    double agl_ft;
    const char* front;  // first entry of the park-airport list
    double frontDist_nm;
    bool left;
    const char* logged;
};

TEST_F(StaticParkingTest, ParkAirportLeftWhenOutOfSightOrAnotherIsNearer) {
    const SightRow rows[] = {
        {"in sight, still the nearest", false, 10, 3000, "EHAM", 10, false, ""},
        {"another one nearer", false, 10, 3000, "EHRD", 8, true, "EHRD is in sight (8.0 nm), parked aircraft at EHAM"},
        {"another one as near: it wins", false, 10, 3000, "EHRD", 10, true, "EHRD is in sight"},
        {"the other one beyond range", false, 10, 3000, "EHRD", 25, false, ""},
        {"too far", false, 25, 3000, "EHAM", 25, true, "EHAM is out of sight (25.0 nm), parked aircraft will be removed"},
        {"too high", false, 10, 19000, "EHAM", 10, true, "EHAM is out of sight"},
        {"on the ground nothing changes", true, 25, 0, "EHRD", 1, false, ""},
    };
    for (const SightRow& r : rows) {
        SCOPED_TRACE(r.name);
        TearDown();
        SetUp();
        gf_resetParkAirports();
        row(3);
        StaticAc parkedStatic;
        parkedStatic.hexid = 5;
        parkedStatic.objectId = 800;
        parkedStatic.standId = 1;
        parkedStatic.simState = SimState::active;
        g_staticAc.push_back(parkedStatic);
        LiveAc taxiing;
        taxiing.hexid = 0x400001;
        taxiing.objectId = 801;
        taxiing.standId = 2;
        taxiing.simState = SimState::active;
        taxiing.flightState = FlightState::taxi;
        g_liveAc.push_back(taxiing);
        sim.userOnGroundFlag = r.onGround;
        g_userAcData.altAboveGround_ft = r.agl_ft;
        const LatLon user = gf_destinationPoint({kLat, kLon}, 0.0, r.currentDist_nm * 6076.11549);
        g_userAcData.lat_deg = user.lat;
        g_userAcData.lon_deg = user.lon;
        gf_withParkAirports([&](std::list<ParkAirport>& list) {
            list.push_back({r.front, "", 0.0, 0.0, r.frontDist_nm});
        });
        lf_inSightCheck(user);
        EXPECT_EQ(!gf_parkAirportInUse(), r.left);
        if (r.left) {
            EXPECT_EQ(g_staticAc[0].simState, SimState::removingfromsim);
            EXPECT_EQ(g_liveAc[0].simState, SimState::removingfromsim);
            EXPECT_EQ(g_liveAc[0].standId, 0u) << "a live aircraft loses its stand with the airport";
            EXPECT_TRUE(g_standList.empty());
        } else {
            EXPECT_EQ(g_staticAc[0].simState, SimState::active);
        }
        if (r.logged[0]) {
            EXPECT_NE(logText().find(r.logged), std::string::npos) << logText();
        }
    }
    gf_resetParkAirports();
}

// ---- Renewal ----

TEST_F(StaticParkingTest, RenewalFollowsParkedTraffic) {
    row(6);
    RT_PARKTRAFFIC_ONLY.setValue(true);
    setParked({parked(0x4845d1, "KLM1391", kLat, kLon), parked(0x4845d2, "KLM691", kLat, kLon + 3 * kLonPer30m)});
    calculate();
    run(400);
    ASSERT_NE(sim.objectWithCallsign("KLM1391*"), nullptr);
    ASSERT_NE(sim.objectWithCallsign("KLM691*"), nullptr);
    const std::size_t created = sim.creations;

    // KLM691 left; KLM1391 still stands there; KLM12 arrived.
    setParked({parked(0x4845d1, "KLM1391", kLat, kLon), parked(0x4845d3, "KLM12", kLat, kLon + 5 * kLonPer30m)});
    gf_applyParkTrafficChanges(false);
    gf_staticParkingPass();
    run(400);
    EXPECT_NE(sim.objectWithCallsign("KLM1391*"), nullptr);
    EXPECT_EQ(sim.objectWithCallsign("KLM691*"), nullptr);
    EXPECT_NE(sim.objectWithCallsign("KLM12*"), nullptr);
    EXPECT_EQ(sim.creations, created + 1) << "the aircraft that stays is not created again";
    EXPECT_NE(logText().find("ParkTraffic changes: 1 to be removed, 1 to be added"), std::string::npos);
}

TEST_F(StaticParkingTest, RenewalOnANewHalfHourAndFlush) {
    row(6);
    parking_percentage.setValue(50);
    g_standList[0].options.push_back(option("KLM", "B738", "KLM1", 20));
    g_standList[2].options.push_back(option("KLM", "B738", "KLM3", 20));
    g_standList[4].options.push_back(option("KLM", "B738", "KLM5", 23));
    calculate();
    run(300);
    ASSERT_NE(sim.objectWithCallsign("KLM1*"), nullptr);
    ASSERT_NE(sim.objectWithCallsign("KLM3*"), nullptr);
    EXPECT_EQ(sim.objectWithCallsign("KLM5*"), nullptr) << "its half-hour is still to come";

    // Two hours later KLM5's half-hour has come; the others stay, still
    // within the reached fit.
    g_nowSlot = (std::uint64_t{3} << 32) | 24u;
    const std::size_t created = sim.creations;
    gf_applyParkTrafficChanges(false);
    gf_staticParkingPass();
    run(300);
    EXPECT_NE(sim.objectWithCallsign("KLM5*"), nullptr);
    EXPECT_NE(sim.objectWithCallsign("KLM1*"), nullptr);
    EXPECT_EQ(sim.creations, created + 1);

    // Flush: every stand-option aircraft goes.
    gf_applyParkTrafficChanges(true);
    gf_staticParkingPass();
    run(100);
    EXPECT_EQ(sim.objectWithCallsign("KLM1*"), nullptr);
    EXPECT_EQ(sim.objectWithCallsign("KLM3*"), nullptr);
}

// Two aircraft are known to use the one stand now; the one standing there
// keeps it through every renewal instead of being swapped for the other.
TEST_F(StaticParkingTest, RenewalKeepsTheStaticAlreadyOnTheStand) {
    row(1);
    for (const char* cs : {"KLM1", "KLM7"}) {
        StandOption o = option("KLM", "B738", cs, 20);
        o.halfHours |= std::uint64_t{1} << 21;
        g_standList[0].options.push_back(o);
    }
    calculate();
    run(300);
    ASSERT_NE(staticOn("S1"), nullptr);
    const std::string first = staticOn("S1")->callsign;
    const std::size_t created = sim.creations;
    for (int renewal = 0; renewal < 12; ++renewal) {
        g_nowSlot = (std::uint64_t{3} << 32) | (20u + static_cast<std::uint32_t>(renewal % 2));
        gf_applyParkTrafficChanges(false);
        gf_staticParkingPass();
        run(300);
        ASSERT_NE(staticOn("S1"), nullptr) << "renewal " << renewal;
        EXPECT_EQ(staticOn("S1")->callsign, first) << "renewal " << renewal;
    }
    EXPECT_EQ(sim.creations, created);
}

struct LimitRow {
    const char* name;
    int maxParkSel;
    int parkedLive;
    int removed;
};

TEST_F(StaticParkingTest, RenewalLimitsParkedLiveAircraft) {
    const LimitRow rows[] = {
        {"one wanted, three parked: two go", 1, 3, 2},
        {"wanted 0: the limit is off", 0, 3, 0},
    };
    for (const LimitRow& r : rows) {
        SCOPED_TRACE(r.name);
        TearDown();
        SetUp();
        row(6);
        MAX_PARK_SEL.setValue(r.maxParkSel);
        for (int i = 0; i < r.parkedLive; ++i) {
            LiveAc live;
            live.hexid = 0x400000u + static_cast<std::uint32_t>(i);
            live.callsign = "DLH" + std::to_string(i);
            live.objectId = 500u + static_cast<std::uint32_t>(i);
            live.standId = static_cast<std::uint32_t>(2 * i + 1);
            live.simState = SimState::active;
            live.flightState = FlightState::parked;
            live.stillReported = 1;
            g_liveAc.push_back(live);
        }
        gf_applyParkTrafficChanges(false);
        gf_staticParkingPass();
        int removing = 0;
        for (const LiveAc& a : g_liveAc) removing += a.simState == SimState::removingfromsim;
        EXPECT_EQ(removing, r.removed);
    }
}

// ---- The user aircraft ----

struct ConflictRow {
    const char* name;
    bool groundMode;
    double userAgl_ft;
    double userAlt_ft;
    double dist_nm;
    double bearing_deg;  // from the user aircraft
    double acAlt_ft;
    double acHeadingFromReciprocal_deg;  // 0: straight at the user
    bool removed;
    double userTrack_deg = 0.0;  // where the user came from a second before
};

TEST_F(StaticParkingTest, UserAircraftConflicts) {
    // The bearing at which a point d nm away lies `off` ft beside the line.
    auto offLine = [](double off_ft, double d_nm) { return std::asin(off_ft / (d_nm * 6076.11549)) * kRadToDeg; };
    const ConflictRow rows[] = {
        {"ground, 0.5 nm straight ahead", true, 0, 0, 0.5, 0, 5000, 90, true},
        {"ground, 0.5 nm behind", true, 0, 0, 0.5, 180, 5000, 90, true},
        {"ground, 45 degrees off the nose", true, 0, 0, 0.5, 45, 5000, 90, false},
        {"ground, 45 ft beside the user's line", true, 0, 0, 0.5, offLine(45, 0.5), 5000, 90, true},
        {"ground, 55 ft beside the user's line", true, 0, 0, 0.5, offLine(55, 0.5), 5000, 90, false},
        {"ground, 0.99 nm ahead", true, 0, 0, 0.99, 0, 5000, 90, true},
        {"ground, 1.01 nm ahead", true, 0, 0, 1.01, 0, 5000, 90, false},
        {"user 500 ft up: no ground test", true, 500, 5000, 0.5, 0, 0, 90, false},
        // On final at 600 ft with a 3 degree crab: the runway runs 3 degrees
        // right of the nose, along the user's track.
        {"user on final: an aircraft lined up on the runway 0.8 nm ahead", true, 600, 600, 0.8, 3, 0, 180, true, 3},
        // Lined up with its nose 4 degrees off the runway's heading: the
        // runway's line is the user's track, not the aircraft's nose.
        {"user on final: lined up 4 degrees off, 3 nm ahead", true, 900, 900, 3.0, 0, 0, -176, true},
        {"user on final: lined up 4 degrees off, no track known", true, 900, 900, 3.0, 0, 0, -176, true, -1},
        {"user on final: 250 ft beside the line, as on a taxiway", true, 900, 900, 3.0, offLine(250, 3.0), 0,
         -180 - offLine(250, 3.0), false},
        {"user on final: 120 ft beside the line, on the runway", true, 900, 900, 3.0, offLine(120, 3.0), 0,
         -180 - offLine(120, 3.0), true},
        {"air, 3 nm heading at the user, 900 ft lower", false, 3000, 5000, 3.0, 30, 4100, 0, true},
        {"air, 1000 ft lower", false, 3000, 5000, 3.0, 30, 4000, 0, false},
        {"air, crossing 57 degrees off the line", false, 3000, 5000, 3.0, 30, 5000, 57, false},
        {"air, its track 690 ft from the user", false, 3000, 5000, 3.0, 30, 5000, offLine(690, 3.0), true},
        {"air, its track 710 ft from the user", false, 3000, 5000, 3.0, 30, 5000, offLine(710, 3.0), false},
        {"air, 3.99 nm away", false, 3000, 5000, 3.99, 30, 5000, 0, true},
        {"air, 4.01 nm away", false, 3000, 5000, 4.01, 30, 5000, 0, false},
    };
    for (const ConflictRow& r : rows) {
        SCOPED_TRACE(r.name);
        g_liveAc.clear();
        g_userAcData = UserAcData{};
        g_userAcData.lat_deg = kLat;
        g_userAcData.lon_deg = kLon;
        g_userAcData.heading_rad = 0.0;
        g_userAcData.altAboveGround_ft = r.userAgl_ft;
        g_userAcData.alt_ft = r.userAlt_ft;
        // A look a second before, 100 m back along the user's track (none
        // for a track of -1: the first look in flight).
        gf_resetUserConflicts();
        if (r.userTrack_deg >= 0.0) {
            const LatLon back = gf_destinationPoint({kLat, kLon}, (r.userTrack_deg + 180.0) * kDegToRad, 100.0 / 0.3048);
            g_userAcData.lat_deg = back.lat;
            g_userAcData.lon_deg = back.lon;
            g_userAcData.alt_ft = r.userAlt_ft + 10.0;  // descending on final
            gf_removeUserConflicts();
            g_userAcData.lat_deg = kLat;
            g_userAcData.lon_deg = kLon;
            g_userAcData.alt_ft = r.userAlt_ft;
        }
        const LatLon at = gf_destinationPoint({kLat, kLon}, r.bearing_deg * kDegToRad, r.dist_nm * 6076.11549);
        LiveAc ac;
        ac.hexid = 0x400001;
        ac.objectId = 600;
        ac.simState = SimState::active;
        ac.groundMode = r.groundMode ? 1 : 0;
        ac.pos.lat = at.lat;
        ac.pos.lon = at.lon;
        ac.pos.alt = r.acAlt_ft;
        ac.pos.heading = std::fmod((r.bearing_deg + 180.0 + r.acHeadingFromReciprocal_deg) * kDegToRad, kFullTurnRad);
        g_liveAc.push_back(ac);
        gf_removeUserConflicts();
        EXPECT_EQ(g_liveAc[0].simState == SimState::removingfromsim, r.removed);
    }
    // Two in the way: one a call.
    g_liveAc.clear();
    g_userAcData.altAboveGround_ft = 3000;
    for (std::uint32_t i = 0; i < 2; ++i) {
        LiveAc ac;
        ac.hexid = 0x400010 + i;
        ac.objectId = 700 + i;
        ac.simState = SimState::active;
        const LatLon at = gf_destinationPoint({kLat, kLon}, 0.0, (1.0 + i) * 6076.11549);
        ac.pos.lat = at.lat;
        ac.pos.lon = at.lon;
        ac.pos.alt = g_userAcData.alt_ft;
        ac.pos.heading = std::acos(-1.0);
        g_liveAc.push_back(ac);
    }
    gf_removeUserConflicts();
    EXPECT_EQ(g_liveAc[0].simState, SimState::removingfromsim);
    EXPECT_EQ(g_liveAc[1].simState, SimState::active);
    gf_removeUserConflicts();
    EXPECT_EQ(g_liveAc[1].simState, SimState::removingfromsim);
}

// The user's aircraft on the ground: what overlaps it goes, what merely
// crosses its nose line far away stays.
TEST_F(StaticParkingTest, GroundedUserOverlaps) {
    struct Row {
        const char* name;
        bool groundMode;
        double dist_m;
        double bearing_deg;  // from the user aircraft
        bool removed;
    };
    // A B738 user (half span 17.9 m) and B738 live aircraft: 1.15 x 35.8 m.
    struct SpanBack {
        ~SpanBack() { lf_setUserHalfWingspanNm(std::numeric_limits<double>::quiet_NaN()); }
    } spanBack;
    lf_setUserHalfWingspanNm(17.9 / 1852.0);
    const Row rows[] = {
        {"25 m abeam, the wings overlapping", true, 25.0, 90, true},
        {"40 m behind", true, 40.0, 180, true},
        {"42 m ahead: clear of 1.15 x both half spans", true, 42.0, 0, false},
        {"0.9 nm behind, crossing the user's nose line", true, 0.9 * 1852.0, 180, false},
        {"an aircraft in the air above the user", false, 10.0, 90, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        g_liveAc.clear();
        g_userAcData = UserAcData{};
        g_userAcData.lat_deg = kLat;
        g_userAcData.lon_deg = kLon;
        const LatLon at = gf_destinationPoint({kLat, kLon}, r.bearing_deg * kDegToRad, r.dist_m / 0.3048);
        LiveAc ac;
        ac.hexid = 0x400001;
        ac.objectId = 600;
        ac.type = "B738";
        ac.size = 17.9 / 1852.0;
        ac.simState = SimState::active;
        ac.groundMode = r.groundMode ? 1 : 0;
        ac.pos.lat = at.lat;
        ac.pos.lon = at.lon;
        ac.pos.heading = 90.0 * kDegToRad;
        g_liveAc.push_back(ac);
        gf_removeGroundedUserConflicts();
        EXPECT_EQ(g_liveAc[0].simState == SimState::removingfromsim, r.removed);
    }

    // The user standing on a runway, heading north: an aircraft in the air
    // flying down the runway's line toward it goes; one beside the line, one
    // crossing it, one flying away after its take-off and one high above stay.
    struct AirRow {
        const char* name;
        double dist_nm;
        double bearing_deg;  // from the user aircraft
        double above_ft;
        double heading_deg;
        bool removed;
    };
    const double offLine120 = std::asin(120.0 / (3.0 * 6076.11549)) * kRadToDeg;
    const double offLine250 = std::asin(250.0 / (3.0 * 6076.11549)) * kRadToDeg;
    const double offLine350 = std::asin(350.0 / (3.0 * 6076.11549)) * kRadToDeg;
    const AirRow airRows[] = {
        {"3 nm out on final behind, 900 ft up", 3.0, 180, 900, 0, true},
        {"head-on down the line", 3.0, 0, 900, 180, true},
        {"1,000 ft up", 3.0, 180, 1000, 0, false},
        {"4.1 nm out", 4.1, 180, 500, 0, false},
        {"120 ft beside the user's line: the user on the runway", 3.0, 180 - offLine120, 900, 0, true},
        {"250 ft beside it: the user on a parallel taxiway", 3.0, 180 - offLine250, 900, 0, false},
        {"350 ft beside it, as on a parallel runway", 3.0, 180 - offLine350, 900, 0, false},
        {"crossing the line", 3.0, 180, 900, 60, false},
        {"flying away after its take-off", 2.0, 0, 600, 0, false},
    };
    for (const AirRow& r : airRows) {
        SCOPED_TRACE(r.name);
        g_liveAc.clear();
        g_userAcData = UserAcData{};
        g_userAcData.lat_deg = kLat;
        g_userAcData.lon_deg = kLon;
        g_userAcData.alt_ft = 20.0;
        const LatLon at = gf_destinationPoint({kLat, kLon}, r.bearing_deg * kDegToRad, r.dist_nm * 6076.11549);
        LiveAc ac;
        ac.hexid = 0x400001;
        ac.objectId = 600;
        ac.type = "A320";
        ac.size = 17.0 / 1852.0;
        ac.simState = SimState::active;
        ac.pos.lat = at.lat;
        ac.pos.lon = at.lon;
        ac.pos.alt = 20.0 + r.above_ft;
        ac.pos.heading = r.heading_deg * kDegToRad;
        g_liveAc.push_back(ac);
        gf_removeGroundedUserConflicts();
        EXPECT_EQ(g_liveAc[0].simState == SimState::removingfromsim, r.removed);
    }

    // Static aircraft made on S2 and S3 (30 m apart) by the static parking; a
    // C172 user (half span 5.5 m) taxis onto S2: the one there goes, the one
    // beside stays.
    g_liveAc.clear();
    lf_setUserHalfWingspanNm(5.5 / 1852.0);
    row(3, false);
    for (Stand& s : g_standList) s.options.push_back(option("KLM", "B738", "KLM" + s.id, 20));
    setParked({parked(0x4845d2, "KLM1392", kLat, kLon + kLonPer30m), parked(0x4845d3, "KLM1393", kLat, kLon + 2 * kLonPer30m)});
    parking_percentage.setValue(100);
    calculate();
    run(400);
    ASSERT_NE(staticOn("S2"), nullptr);
    ASSERT_NE(staticOn("S3"), nullptr);
    ASSERT_EQ(staticOn("S2")->simState, SimState::active);
    ASSERT_EQ(staticOn("S3")->simState, SimState::active);
    g_userAcData.lat_deg = kLat;
    g_userAcData.lon_deg = kLon;
    gf_removeGroundedUserConflicts();
    g_userAcData.lon_deg = kLon + kLonPer30m;
    gf_removeGroundedUserConflicts();
    EXPECT_EQ(staticOn("S2")->simState, SimState::removingfromsim);
    EXPECT_EQ(staticOn("S3")->simState, SimState::active);
    // Static aircraft stand still: a user standing still meets none it has
    // not met already, whatever its span (here a wider one, 40 m); a move of
    // a metre looks again.
    auto activeStatics = [] {
        return std::count_if(g_staticAc.begin(), g_staticAc.end(),
                             [](const StaticAc& s) { return s.simState == SimState::active; });
    };
    lf_setUserHalfWingspanNm(40.0 / 1852.0);
    const auto before = activeStatics();
    gf_removeGroundedUserConflicts();
    EXPECT_EQ(activeStatics(), before) << "none looked at while the user stands still";
    g_userAcData.lon_deg += kLonPer30m / 30.0;
    gf_removeGroundedUserConflicts();
    EXPECT_EQ(activeStatics(), before - 1);
}

}  // namespace
