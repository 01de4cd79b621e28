// Stand options, stand choice and the engine's small shared operations.
#include "airports/park_airport_state.h"
#include "app/run_state.h"
#include "core/settings.h"
#include "traffic/engine_support.h"
#include "traffic/parking_position.h"
#include "traffic/stand_choice.h"
#include "traffic/stand_options.h"
#include "traffic/traffic_state.h"
#include "traffic_harness.h"

namespace {

class StandsTest : public TrafficHarness {
protected:
    static LiveAc aircraft(const std::string& type, const std::string& callsign = "KLM1", const std::string& reg = "") {
        AcBase base = gf_buildAircraftBase(record(0x484F6D, callsign, type, Fix{}, reg));
        base.hexid = 0x484F6D;
        return LiveAc(StreamPoint{}, base, 0.0);
    }
    static constexpr double kMetre_deg = 1.0 / 111132.95;
};

TEST_F(StandsTest, HalfHoursStepBackAcrossMidnightAndWrappedUpdatesSplitThem) {
    EXPECT_EQ(gf_halfHoursBack(WeekSlot{3, 1}, 4), (std::vector<std::int32_t>{1, 0, 47, 46}));
    EXPECT_EQ(gf_halfHoursBack(WeekSlot{1, 0}, 2), (std::vector<std::int32_t>{0, 47}));

    std::vector<StandOption> options(2);
    options[0].index = 1;
    options[0].day = 2;
    options[1].index = 2;
    options[1].day = 3;
    auto list = gf_halfHoursBack(WeekSlot{3, 1}, 4);
    EXPECT_TRUE(updateOptionsWrapped(options, list, 1, 2));
    EXPECT_EQ(options[0].halfHours, (std::uint64_t{1} << 46) | (std::uint64_t{1} << 47));
    EXPECT_EQ(options[1].halfHours, std::uint64_t{1});
    EXPECT_EQ(list, std::vector<std::int32_t>{1}) << "the newest is the later day's own";

    std::vector<std::int32_t> bad{3, 48};
    EXPECT_TRUE(updateOptions(options, bad, 2)) << "logged, not thrown";
    EXPECT_FALSE(updateOptions(options, bad, 9));
}

TEST_F(StandsTest, OptionsAreAddedOncePerRegistrationHalfHourAndDayAndTakeCallsigns) {
    std::vector<StandOption> options;
    const LiveAc ac = aircraft("B738", "KLM1_", "PH-BXA");
    const auto first = lf_addStandOption(options, ac, WeekSlot{3, 20}, ac.callsign, ac.registration, OptionFlags{});
    EXPECT_TRUE(first.added);
    EXPECT_EQ(first.index, 1u);
    EXPECT_EQ(options[0].cs, "KLM1") << "the ghost mark is not recorded";
    EXPECT_EQ(options[0].airline, "KLM");
    EXPECT_FALSE(lf_addStandOption(options, ac, WeekSlot{3, 20}, "KLM1", "PH-BXA", OptionFlags{}).added);
    EXPECT_TRUE(lf_addStandOption(options, ac, WeekSlot{4, 20}, "KLM1", "PH-BXA", OptionFlags{}).added);
    EXPECT_FALSE(lf_addStandOption(options, ac, WeekSlot{3, 21}, "KLM1", "", OptionFlags{}).added);
    EXPECT_THROW(lf_addStandOption(options, ac, WeekSlot{3, 48}, "KLM1", "PH-BXA", OptionFlags{}), std::out_of_range);

    gf_setOptionCallsign(options, 1, "KLM1");
    gf_setOptionCallsign(options, 1, "KLM77_");
    gf_setOptionCallsign(options, 1, "");
    EXPECT_EQ(options[0].cs, "KLM1");
    EXPECT_EQ(options[0].cs2, "KLM77");
}

TEST_F(StandsTest, RealUseIsRecordedOnceAndNotWithoutAKnownTime) {
    addStand("C1", 52.0, 4.0, 30.0);
    LiveAc ac = aircraft("B738", "KLM1", "PH-BXA");
    lf_addRealStandOption(1, ac, StandUse::arrived);
    lf_addRealStandOption(1, ac, StandUse::arrived);
    ASSERT_EQ(g_standList[0].options.size(), 1u);
    lf_addRealStandOption(1, ac, StandUse::leaving);
    EXPECT_TRUE(g_standList[0].options[0].cpl) << "a departure marks the option";

    g_nowSlot = ~std::uint64_t{0};  // the clock could not break the time down
    g_standList[0].options.clear();
    lf_addRealStandOption(1, ac, StandUse::arrived);
    EXPECT_TRUE(g_standList[0].options.empty());
}

TEST_F(StandsTest, ChooseStandTable) {
    // A B738 has a half span of 17.9 m.
    struct Row {
        const char* what;
        double radius_m;
        double offset_m;
        bool heli;
        const char* type;
        bool taken;
        bool learns;
    } rows[] = {
        {"fits", 20.0, 10.0, false, "B738", true, false},
        {"1.5 m smaller", 16.4, 30.0, false, "B738", true, false},
        {"2 m smaller within 20 m", 15.9, 15.0, false, "B738", true, true},
        {"2 m smaller beyond 20 m", 15.9, 30.0, false, "B738", false, false},
        {"beyond the search radius", 30.0, 60.0, false, "B738", false, false},
        {"helipad for an aeroplane", 30.0, 5.0, true, "B738", false, false},
        {"helipad for a helicopter", 30.0, 5.0, true, "EC35", true, false},
        {"stand for a helicopter", 30.0, 5.0, false, "EC35", false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_standList.clear();
        addStand("S1", 52.0 + row.offset_m * kMetre_deg, 4.0, row.radius_m, row.heli);
        const LiveAc ac = aircraft(row.type);
        const Stand* s = lf_chooseStand(LatLon{52.0, 4.0}, ac, 0.029697624, false);
        EXPECT_EQ(s != nullptr, row.taken);
        EXPECT_EQ(g_standList[0].radius_change, row.learns);
        if (row.learns) {
            EXPECT_NEAR(g_standList[0].radius, ac.size - 0.00053996, 1e-9);
        }
    }
}

TEST_F(StandsTest, WantedParkCountTable) {
    struct Row {
        int stands, percentage, custom, maxPark, wanted;
    } rows[] = {
        {3, 30, -1, 500, 1}, {3, 50, -1, 500, 2}, {1, 30, -1, 500, 1}, {1, 30, -1, 0, 0},
        {10, 30, 0, 500, 0}, {3, 30, 0, 500, 1}, {100, 30, -1, 20, 20}, {100, 10, 25, 500, 25},
    };
    for (const Row& r : rows) {
        g_standList.clear();
        for (int i = 0; i < r.stands; ++i) addStand("S" + std::to_string(i), 52.0, 4.0 + i * 0.001, 30.0);
        parking_percentage.setValue(r.percentage);
        CUSTOM_PARKING_PERCENTAGE.setValue(r.custom);
        MAX_PARK_SEL.setValue(r.maxPark);
        EXPECT_EQ(lf_wantedParkCount(), r.wanted) << r.stands << " stands, " << r.percentage << " %, custom " << r.custom;
    }
}

TEST_F(StandsTest, SlotWindowExtendsAnOptionAcrossTheWeeksEnd) {
    std::vector<StandOption> options(2);
    options[0].index = 1;
    options[0].day = 7;
    options[0].reg = "PH-BXA";
    options[0].halfHours = std::uint64_t{1} << 47;
    options[1].index = 2;
    options[1].day = 1;
    options[1].reg = "PH-BXA";
    options[1].halfHours = std::uint64_t{1} << 1;
    const LiveAc ac = aircraft("B738", "KLM1", "PH-BXA");
    std::uint32_t key = 1;
    WeekSlot stored{7, 47};
    EXPECT_TRUE(lf_inWeekSlotWindow(WeekSlot{1, 1}, options, key, stored, ac)) << "2 half-hours through the week's end";
    EXPECT_EQ(options[0].halfHours, std::uint64_t{1} << 47);
    EXPECT_EQ(options[1].halfHours, std::uint64_t{1} | (std::uint64_t{1} << 1));
    EXPECT_EQ(key, 2u);
    EXPECT_EQ(stored.weekday, 1);
    EXPECT_EQ(options[0].cs, "KLM1");

    key = 2;
    EXPECT_FALSE(lf_inWeekSlotWindow(WeekSlot{1, 8}, options, key, stored, ac)) << "beyond the 6 half-hours of a Large";
}

TEST_F(StandsTest, FarthestActiveLiveAircraftIsRemovedOnlyWhenClearlyFarther) {
    g_userAcData.lat_deg = 52.0;
    g_userAcData.lon_deg = 4.0;
    for (double dist : {20.0, 20.05}) {
        LiveAc ac = aircraft("B738", "KLM" + std::to_string(g_liveAc.size()));
        ac.hexid = 0x100 + static_cast<std::uint32_t>(g_liveAc.size());
        ac.simState = SimState::active;
        ac.objectId = 500 + static_cast<std::uint32_t>(g_liveAc.size());
        ac.pos.lat = 52.0 + dist / 60.0;
        ac.pos.lon = 4.0;
        g_liveAc.push_back(ac);
    }
    EXPECT_TRUE(gf_removeFarthestLiveAc(30.0));
    EXPECT_FALSE(gf_removeFarthestLiveAc(10.0));
    EXPECT_EQ(g_liveAc[0].simState, SimState::removingfromsim);
    EXPECT_EQ(g_liveAc[1].simState, SimState::active);

    // Within one pass, among many shown aircraft (their distances taken
    // once), each newcomer makes the farthest still shown give way, and one
    // beyond all of them removes nothing.
    g_liveAc.clear();
    for (int i = 0; i < 70; ++i) {
        LiveAc ac = aircraft("B738", "KLM" + std::to_string(i));
        ac.hexid = 0x200 + static_cast<std::uint32_t>(i);
        ac.simState = SimState::active;
        ac.objectId = 600 + static_cast<std::uint32_t>(i);
        ac.pos.lat = 52.0 + (10.0 + (i * 37 % 70) * 0.5) / 60.0;
        ac.pos.lon = 4.0;
        g_liveAc.push_back(ac);
    }
    gf_armFarthestOfPass(true);
    EXPECT_TRUE(gf_fartherThanEveryShown(60.0));
    EXPECT_FALSE(gf_fartherThanEveryShown(40.0));
    for (int k = 0; k < 40; ++k) ASSERT_FALSE(gf_removeFarthestLiveAc(5.0)) << k;
    EXPECT_TRUE(gf_removeFarthestLiveAc(30.0));
    gf_armFarthestOfPass(false);
    for (int i = 0; i < 70; ++i)
        EXPECT_EQ(g_liveAc[static_cast<std::size_t>(i)].simState,
                  i * 37 % 70 >= 30 ? SimState::removingfromsim : SimState::active) << i;
}

TEST_F(StandsTest, SearchStandsTakesOneOptionPerFreeStandAndSkipsKnownAircraft) {
    auto option = [](std::uint32_t index, const char* reg, const char* cs, const char* cs2, std::uint32_t day,
                     std::uint64_t halfHours, std::uint32_t real) {
        StandOption o;
        o.index = index;
        o.reg = reg;
        o.cs = cs;
        o.cs2 = cs2;
        o.airline = "KLM";
        o.type = "B738";
        o.day = day;
        o.halfHours = halfHours;
        o.real = real;
        return o;
    };
    const std::uint64_t h19 = std::uint64_t{1} << 19, h20 = std::uint64_t{1} << 20;
    addStand("A1", 52.0, 4.0, 30.0).options = {option(1, "PH-AAA", "KLM1", "KLM2", 3, h19 | h20, 1)};
    addStand("A2", 52.0, 4.001, 30.0).options = {option(1, "PH-BBB", "KLM3", "KLM4", 3, h19, 1)};
    addStand("A3", 52.0, 4.002, 30.0).options = {option(1, "PH-CCC", "KLM5", "", 3, h19, 0)};
    addStand("A4", 52.0, 4.003, 30.0).options = {option(1, "PH-DDD", "KLM7", "", 3, h19, 1)};
    g_standList[0].adjacent = {};
    g_collectedCallsigns = {"KLM7"};  // already in the air

    std::vector<ParkingPosition> out;
    // Half-hour 20 minus 1: slot 19 of Wednesday, real options only.
    lf_searchStands(WeekSlot{3, 20}, 1, true, 1, 2, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].registration, "PH-AAA");
    EXPECT_TRUE(out[0].callsignFirst) << "its option holds the next half-hour too";
    EXPECT_EQ(out[0].sortKey, 2);
    EXPECT_EQ(out[1].registration, "PH-BBB");
    EXPECT_FALSE(out[1].callsignFirst) << "the coupled flight comes next";
    EXPECT_EQ(g_standList[3].options[0].index, 0u) << "a known aircraft's option is disabled";
    EXPECT_TRUE(gf_standMark(g_standList[0], StandMark::usedInSearch));

    // Half-hour 0 with offset 1 looks at Tuesday 47 (and Monday's 0 at Sunday).
    out.clear();
    g_standList.clear();
    addStand("B1", 52.0, 4.0, 30.0).options = {option(1, "PH-EEE", "KLM9", "", 2, std::uint64_t{1} << 47, 1),
                                               option(2, "PH-FFF", "KLM8", "", 7, std::uint64_t{1} << 47, 1)};
    lf_searchStands(WeekSlot{3, 0}, 2, true, 1, 0, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].registration, "PH-EEE");
    out.clear();
    gf_standMark(g_standList[0], StandMark::usedInSearch) = 0;
    lf_searchStands(WeekSlot{1, 0}, 2, true, 1, 0, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].registration, "PH-FFF");
}

}  // namespace
