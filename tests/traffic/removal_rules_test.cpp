// The rules that keep live and static aircraft from duplicating each other
// and the parking within its limits.
#include "airports/park_airport_state.h"
#include "core/settings.h"
#include "traffic/removal_rules.h"
#include "traffic/spawn.h"
#include "traffic/traffic_state.h"
#include "traffic_harness.h"

namespace {

class RemovalRulesTest : public TrafficHarness {
protected:
    static LiveAc& live(const std::string& callsign, SimState state, FlightState flight = FlightState::flying,
                        std::uint32_t objectId = 0) {
        AcBase base = gf_buildAircraftBase(record(0, callsign, "B738", Fix{}));
        base.hexid = 0x400000 + static_cast<std::uint32_t>(g_liveAc.size());
        g_liveAc.emplace_back(StreamPoint{}, base, 0.0);
        LiveAc& ac = g_liveAc.back();
        ac.simState = state;
        ac.flightState = flight;
        ac.objectId = objectId ? objectId : 300 + static_cast<std::uint32_t>(g_liveAc.size());
        return ac;
    }
    static StaticAc& stat(const std::string& callsign, const std::string& reg, std::uint32_t standId = 1) {
        AcBase base;
        base.callsign = callsign;
        base.callsignCopy = callsign;
        base.registration = reg;
        base.hexid = static_cast<std::uint32_t>(g_staticAc.size() + 1);
        g_staticAc.emplace_back(base, standId, 52.0, 4.0, 0.0, 0);
        StaticAc& s = g_staticAc.back();
        s.simState = SimState::active;
        s.objectId = 900 + static_cast<std::uint32_t>(g_staticAc.size());
        return s;
    }
};

TEST_F(RemovalRulesTest, GhostOfASpawningFlightIsRemovedAndNeverComesBack) {
    addStand("D7", 52.0, 4.0, 30.0);
    LiveAc& ghost = live("BAW12_", SimState::active, FlightState::parked);
    ghost.standId = 1;
    lf_ghostCheck("BAW12");
    EXPECT_EQ(g_liveAc[0].simState, SimState::removingfromsim);
    EXPECT_EQ(g_removedGhosts, std::vector<std::string>{"BAW12_"});
    EXPECT_NE(logText().find("D7      : BAW12_   is a ghost and will be removed, continue with BAW12"), std::string::npos);
    EXPECT_TRUE(gf_realCallsignActive("KLM1_") == false);
    // Only a trailing "_" is a ghost's mark: DLH41 is no ghost of DLH4.
    live("DLH4", SimState::active);
    EXPECT_FALSE(gf_realCallsignActive("DLH41"));
    EXPECT_TRUE(gf_realCallsignActive("DLH4_"));

    // A later buffered BAW12_ is dropped once it falls due.
    LiveAc& again = live("BAW12_", SimState::buffer);
    again.stream.push_back(StreamPoint{});
    again.stream.push_back(StreamPoint{});
    lf_handleBuffered(again);
    EXPECT_TRUE(again.removeFromBuffer);
}

TEST_F(RemovalRulesTest, StaticDuplicatesOnePerCallInTestOrder) {
    struct Row {
        const char* what;
        const char* staticCallsign;
        const char* staticReg;
        const char* liveCoupled;
        bool removed;
    } rows[] = {
        {"same registration, other callsign", "XYZ9", "PH-BXA", "", true},
        {"same callsign", "KLM1", "PH-XXX", "", true},
        {"coupled callsign of the live one", "KLM991", "PH-XXX", "KLM991", true},
        {"unrelated", "DLH4", "D-AIZA", "", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        g_liveAc.clear();
        g_staticAc.clear();
        LiveAc& ac = live("KLM1", SimState::active);
        ac.registration = "PH-BXA";
        ac.coupledCallsign = r.liveCoupled;
        stat(r.staticCallsign, r.staticReg);
        stat(r.staticCallsign, r.staticReg);
        gf_removeStaticDuplicates(ac, true);
        EXPECT_EQ(g_staticAc[0].simState == SimState::removingfromsim, r.removed);
        EXPECT_EQ(g_staticAc[1].simState, SimState::active) << "never two in one call";
    }
}

TEST_F(RemovalRulesTest, ParkingLimitRemovesTheLongestParkedLiveAircraft) {
    for (int i = 0; i < 12; ++i) addStand("S" + std::to_string(i), 52.0, 4.0 + i * 0.001, 30.0);
    parking_percentage.setValue(100);
    MAX_PARK_SEL.setValue(10);
    for (int i = 0; i < 10; ++i) {
        LiveAc& ac = live("KLM" + std::to_string(i), SimState::active, FlightState::parked);
        ac.parkedSince = 1000 + i;  // the first parked longest
        ac.standId = static_cast<std::uint32_t>(i + 1);
    }
    INITIAL_LOAD_ONLY.setValue(true);
    lf_checkMaxPark(1);
    EXPECT_EQ(g_liveAc[0].simState, SimState::active) << "never while only the initial load is wanted";
    INITIAL_LOAD_ONLY.setValue(false);
    lf_checkMaxPark(1);
    EXPECT_EQ(g_liveAc[0].simState, SimState::removingfromsim);
    EXPECT_EQ(g_liveAc[1].simState, SimState::active);
    EXPECT_NE(logText().find("S0      : KLM0 live max park exceeded, removed"), std::string::npos);
}

TEST_F(RemovalRulesTest, ReservedStandClearsOnlyTheAircraftOnThatStand) {
    struct Row {
        const char* what;
        const char* reserved;
        bool removed;
    } rows[] = {
        {"the static's stand", "E7", true},
        {"no such stand: never stand 0", "Z99", false},
        {"none reserved", "", false},
    };
    addStand("E7", 52.0, 4.0, 30.0);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        g_staticAc.clear();
        g_liveAc.clear();
        stat("KLM1", "PH-AAA", 1);
        stat("KLM2", "PH-BBB", 0);
        live("DLH3", SimState::active, FlightState::parked).standId = 0;
        g_reservedStand.set(r.reserved);
        gf_clearReservedStand();
        EXPECT_EQ(g_staticAc[0].simState == SimState::removingfromsim, r.removed);
        EXPECT_EQ(g_staticAc[1].simState, SimState::active);
        EXPECT_EQ(g_liveAc[0].simState, SimState::active);
    }
    g_reservedStand.set("");
}

TEST_F(RemovalRulesTest, ParkedAgesWrapThroughTheWeeksEnd) {
    // Now is Wednesday 10:00 (slot 116 of the week's 336).
    LiveAc& sunday = live("KLM1", SimState::active, FlightState::parked);
    sunday.weekSlot = WeekSlot{7, 40};  // Sunday 20:00: 124 half-hours ago
    LiveAc& today = live("KLM2", SimState::active, FlightState::parked);
    today.weekSlot = WeekSlot{3, 10};  // 10 half-hours ago
    EXPECT_EQ(gf_countParkedLiveAc(true), 2);
    EXPECT_FLOAT_EQ(gf_parkedLiveMeanHalfHours(), 67.0f);

    // The static parking limit removes the oldest, counted through the wrap.
    addStand("S1", 52.0, 4.0, 30.0);
    addStand("S2", 52.0, 4.001, 30.0);
    g_liveAc.clear();
    parking_percentage.setValue(100);
    MAX_PARK_SEL.setValue(1);
    stat("KLM3", "PH-AAA", 1).weekSlot = WeekSlot{1, 0};   // Monday 00:00: 116 ago
    stat("KLM4", "PH-BBB", 2).weekSlot = WeekSlot{7, 40};  // 124 ago
    lf_checkMaxPark(0);
    EXPECT_EQ(g_staticAc[0].simState, SimState::active);
    EXPECT_EQ(g_staticAc[1].simState, SimState::removingfromsim);
}

TEST_F(RemovalRulesTest, ParkedLiveListDropsAircraftParkedTooLong) {
    const std::int64_t now = gf_engineNow100ns();
    const std::int64_t minute = 600000000;
    LiveAc& fresh = live("KLM1", SimState::active, FlightState::parked);
    fresh.parkedSince = now - 10 * minute;
    LiveAc& old = live("KLM2", SimState::active, FlightState::parked);
    old.parkedSince = now - 91 * minute;
    LiveAc& heavy = live("BAW3", SimState::active, FlightState::parked);
    heavy.parkedSince = now - 91 * minute;
    heavy.category = AcCategory::Heavy;
    LiveAc& reported = live("DLH4", SimState::active, FlightState::parked);
    reported.parkedSince = now - 500 * minute;
    reported.stillReported = 1;
    const auto list = lf_parkedLiveList();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].callsign, "DLH4");
    EXPECT_EQ(list[0].minutes, 0);
    EXPECT_EQ(list[1].callsign, "KLM1");
    EXPECT_EQ(list[2].callsign, "BAW3");
    EXPECT_EQ(g_liveAc[1].simState, SimState::removingfromsim);
}

}  // namespace

namespace {

// Static aircraft that repeat a live one on the ground, or stand in a moving
// live one's way: one removed per call.
TEST_F(RemovalRulesTest, StaticTwinsAndStaticsInTheWay) {
    struct Row {
        const char* what;
        const char* staticCallsign;
        const char* staticReg;
        bool liveOnGround;
        bool removed;
    } twins[] = {
        {"the live callsign with the static's star", "KLM1*", "PH-XXX", true, true},
        {"the same registration", "XYZ9*", "PH-BXA", true, true},
        {"a longer callsign is no twin", "KLM12*", "PH-XXX", true, false},
        {"a live aircraft in the air has no twin yet", "KLM1*", "PH-XXX", false, false},
    };
    for (const Row& r : twins) {
        SCOPED_TRACE(r.what);
        g_liveAc.clear();
        g_staticAc.clear();
        stat("DLH4*", "D-AIZA");
        LiveAc& ac = live("KLM1", SimState::active, FlightState::taxi);
        ac.registration = "PH-BXA";
        ac.groundMode = r.liveOnGround ? 1 : 0;
        stat(r.staticCallsign, r.staticReg);
        stat(r.staticCallsign, r.staticReg);
        gf_removeStaticTwins();
        EXPECT_EQ(g_staticAc[0].simState, SimState::active);
        EXPECT_EQ(g_staticAc[1].simState == SimState::removingfromsim, r.removed);
        EXPECT_EQ(g_staticAc[2].simState, SimState::active) << "never two in one call";
    }

    // A taxiing live aircraft that moved onto a static one's stand removes
    // it; one far away or standing still does not, nor with the check off.
    struct Way {
        const char* what;
        double lonOffset;
        bool moved;
        bool checkOn;
        bool removed;
    } ways[] = {
        {"moved within both sizes of the static's stand", 0.0001, true, true, true},
        {"far from it", 0.01, true, true, false},
        {"not moved since the last check", 0.0001, false, true, false},
        {"the check switched off", 0.0001, true, false, false},
    };
    for (const Way& w : ways) {
        SCOPED_TRACE(w.what);
        g_liveAc.clear();
        g_staticAc.clear();
        COLLISION_LIVE_PARKED_GND.setValue(w.checkOn);
        StaticAc& s = stat("DLH4*", "D-AIZA");
        s.size = 0.01;
        LiveAc& ac = live("KLM1", SimState::active, FlightState::taxi);
        ac.groundMode = 1;
        ac.pos.lat = 52.0;
        ac.pos.lon = 4.0 + w.lonOffset;
        ac.positionAtLastCheck = w.moved ? LatLon{} : LatLon{ac.pos.lat, ac.pos.lon};
        gf_avoidLiveParkedCollisions();
        EXPECT_EQ(g_staticAc[0].simState == SimState::removingfromsim, w.removed);
    }
    EXPECT_NE(logText().find("removed for collision avoidance with static KLM1"), std::string::npos);

    // Of two static aircraft within reach the first of the static vector
    // goes, though the other stands farther south, and only one per check.
    g_liveAc.clear();
    g_staticAc.clear();
    COLLISION_LIVE_PARKED_GND.setValue(true);
    stat("DLH4*", "D-AIZA");
    stat("DLH5*", "D-AIZB");
    g_staticAc[0].standLat = 52.00005;
    for (StaticAc& st : g_staticAc) st.size = 0.01;
    LiveAc& ac = live("KLM1", SimState::active, FlightState::taxi);
    ac.groundMode = 1;
    ac.pos.lat = 52.00002;
    ac.pos.lon = 4.0;
    gf_avoidLiveParkedCollisions();
    EXPECT_EQ(g_staticAc[0].simState, SimState::removingfromsim);
    EXPECT_EQ(g_staticAc[1].simState, SimState::active);
}

}  // namespace
