// The aircraft records: names, texts, category values and the position block
// an aircraft is created with.
#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "core/paths.h"
#include "core/settings.h"
#include "traffic/engine_support.h"
#include "traffic/live_ac.h"
#include "traffic/traffic_state.h"
#include "traffic_harness.h"

namespace {

class RecordsTest : public TrafficHarness {};

TEST_F(RecordsTest, NamesAndTexts) {
    EXPECT_EQ(gf_simStateName(SimState::liveryrespawn), "liveryrespawn");
    EXPECT_EQ(gf_flightStateName(FlightState::birth), "birth");
    EXPECT_THROW(gf_flightStateName(static_cast<FlightState>(8)), std::out_of_range);
    EXPECT_THROW(gf_categoryMotion(static_cast<AcCategory>(6)), std::out_of_range);

    struct Row {
        const char* callsign;
        const char* airline;  // "" for none
    } rows[] = {{"dlh4AB", "DLH"}, {"N123AB", ""}, {"DL12", ""}, {"KLM", ""}, {"BAW1", "BAW"}};
    for (const Row& r : rows) EXPECT_EQ(gf_airlineFromCallsign(r.callsign).value_or(""), r.airline) << r.callsign;

    AcBase ac;
    ac.callsign = "@@@@@@@@";
    EXPECT_FALSE(gf_callsignValid(ac));
    ac.callsign = "ABCDEFGHI";
    EXPECT_FALSE(gf_callsignValid(ac));
    ac.callsign = "KLM1";
    EXPECT_TRUE(gf_callsignValid(ac));
    EXPECT_EQ(gf_routeText(ac), "        ");
    ac.origin = "AMS";
    EXPECT_EQ(gf_routeText(ac), "AMS->   ");
    ac.airline = "KLM";
    ac.type = "B738";
    ac.registration = "PH-BXA";
    EXPECT_EQ(gf_acDescription(ac), "KLM1     PH-BXA   AMS->    KLM B738");
    EXPECT_EQ(gf_unmatchedKey(ac), "KLM B738 PH-BXA");
    EXPECT_EQ(gf_standNameOf(0), "sid==0?");
    EXPECT_EQ(gf_standNameOf(7), "sid==?");
}

TEST_F(RecordsTest, LookupsByHexidAndObjectIdAnswerAsAPlainSearch) {
    // The list changed the ways the engine changes it; after each change
    // every lookup (present, gone, never there, object id 0) gives the
    // aircraft a search from the front would give.
    auto plain = [](auto pred) -> LiveAc* {
        for (LiveAc& a : g_liveAc)
            if (pred(a)) return &a;
        return nullptr;
    };
    std::uint32_t next = 1;
    auto add = [&] {
        AcBase base;
        base.hexid = 0x100000 + next;
        g_liveAc.emplace_back(StreamPoint{}, base, 0.0);
        g_liveAc.back().objectId = next % 3 == 0 ? 0 : 1000 + next;
        ++next;
    };
    for (int i = 0; i < 40; ++i) add();
    std::uint32_t seed = 7;
    auto rnd = [&](std::size_t n) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<std::size_t>((seed >> 8) % n);
    };
    for (int step = 0; step < 400; ++step) {
        switch (step % 6) {
        case 0:
        case 3: add(); break;
        case 1: lf_eraseLiveAc(rnd(g_liveAc.size())); break;
        case 2: g_liveAc.erase(g_liveAc.begin() + static_cast<std::ptrdiff_t>(rnd(g_liveAc.size()))); break;
        case 4: g_liveAc[rnd(g_liveAc.size())].objectId = 0; break;
        default: g_liveAc[rnd(g_liveAc.size())].objectId = 5000 + static_cast<std::uint32_t>(step); break;
        }
        for (std::uint32_t k = 0; k < next + 2; ++k) {
            const std::uint32_t hexid = 0x100000 + k;
            ASSERT_EQ(gf_findLiveAc(hexid), plain([&](const LiveAc& a) { return a.hexid == hexid; })) << step;
            for (std::uint32_t id : {k, 1000 + k, 5000 + static_cast<std::uint32_t>(step)})
                ASSERT_EQ(gf_findLiveAcByObjectId(id), plain([&](const LiveAc& a) { return a.objectId == id; })) << step;
        }
    }
}

// The window's callsign list: flying active aircraft, sorted, the first one
// chosen; the choice is never written to parameters.xml.
TEST_F(RecordsTest, TheCallsignListTakesFlyingAircraftAndIsNeverStored) {
    auto add = [](std::uint32_t hexid, const char* callsign, FlightState state) {
        AcBase base;
        base.hexid = hexid;
        g_liveAc.emplace_back(StreamPoint{}, base, 0.0);
        g_liveAc.back().callsign = callsign;
        g_liveAc.back().simState = SimState::active;
        g_liveAc.back().flightState = state;
    };
    add(1, "KLM9", FlightState::taxi);
    add(2, "DLH4", FlightState::taxi);
    add(3, "EZY1", FlightState::parked);
    EXPECT_TRUE(gf_fillLiveAcCombo());
    EXPECT_EQ(gf_liveAcComboList(), (std::vector<std::string>{"DLH4", "KLM9"}));
    EXPECT_EQ(CALLSIGN_2_OBJECTID.get(), "DLH4");
    gf_resetLiveAcList();
    EXPECT_EQ(gf_liveAcComboList(), std::vector<std::string>{""});
    std::ifstream stored(gf_parametersPath());
    const std::string text((std::istreambuf_iterator<char>(stored)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find("CALLSIGN_2_OBJECTID"), std::string::npos) << text;
}

TEST_F(RecordsTest, CategoryValuesOfTheBuiltHead) {
    for (int i = 0; i < 20; ++i) {
        const AcBase heavy = gf_buildAircraftBase(record(1, "BAW1", "B77W", Fix{}));
        EXPECT_EQ(heavy.category, AcCategory::Heavy);
        const double rotation = heavy.rotationPitch / kDegToRad;
        const double climb = heavy.climbPitch / kDegToRad;
        EXPECT_TRUE(std::fabs(rotation + 5.125) < 1e-9 || std::fabs(rotation + 4.875) < 1e-9) << rotation;
        EXPECT_TRUE(std::fabs(climb + 13.125) < 1e-9 || std::fabs(climb + 11.875) < 1e-9) << climb;
        EXPECT_EQ(heavy.flareTicks, 450);
    }
    const AcBase heli = gf_buildAircraftBase(record(1, "HELI", "EC35", Fix{}));
    EXPECT_EQ(heli.category, AcCategory::Rotorcraft);
    EXPECT_EQ(heli.flareTicks, 100);
    EXPECT_EQ(gf_categoryMotion(heli.category).liftOffSpeed_kt, 0.0);
    EXPECT_NEAR(heli.size, 10.2 / 2 / 1852, 1e-12);
}

TEST_F(RecordsTest, PositionBlockPitchTable) {
    struct Row {
        double alt_ft, vrate_fpm, pitch_deg;
    } rows[] = {{0, 0, 0.6}, {5000, 0, -3.0}, {5000, 1200, -7.4}, {5000, 5000, -11.8}, {5000, -3000, 2.5},
                {5000, -6000, 2.5}, {5000, -600, -1.9}};
    for (const Row& r : rows) {
        FlightRecord rec = record(1, "KLM1", "B738", Fix{.alt_ft = r.alt_ft});
        rec.point.vrate = r.vrate_fpm;
        LiveAc ac(rec.point, gf_buildAircraftBase(rec), 0.0);
        StreamPoint next = rec.point;
        next.lon += 0.01;
        ac.stream.push_back(next);
        ac.userHold = 1;
        gf_fillPositionBlock(ac);
        EXPECT_NEAR(ac.pos.pitch / kDegToRad, r.pitch_deg, 1e-9) << r.alt_ft << " ft " << r.vrate_fpm << " fpm";
        EXPECT_NEAR(ac.pos.heading, gf_initialBearing({52.0, 4.0}, {52.0, 4.01}), 1e-12);
        EXPECT_EQ(ac.userHold, 0);
    }
}

TEST_F(RecordsTest, GroundCurvePoints) {
    GroundCurve c;
    c.originLat_deg = 52.0;
    c.originLon_deg = 4.0;
    EXPECT_FALSE(gf_groundCurvePoint(c, 0.5)) << "unset curve";
    c.controlEast_m = 0.0;
    c.controlNorth_m = 50.0;
    c.endEast_m = 50.0;
    c.endNorth_m = 50.0;
    EXPECT_FALSE(gf_groundCurvePoint(c, 1.5));
    const auto start = gf_groundCurvePoint(c, 0.0);
    ASSERT_TRUE(start);
    EXPECT_DOUBLE_EQ(start->lat_deg, 52.0);
    EXPECT_NEAR(start->heading_rad, 0.0, 1e-12) << "leaves northbound toward the control point";
    const auto end = gf_groundCurvePoint(c, 1.0);
    EXPECT_NEAR(end->lat_deg, 52.0 + 50.0 / 111132.95, 1e-12);
    EXPECT_NEAR(end->heading_rad, kFullTurnRad / 4, 1e-12) << "arrives eastbound";
}

}  // namespace
