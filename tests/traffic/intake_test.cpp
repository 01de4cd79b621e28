// The feed's door: tick times of a batch, the hand-over, and the filters a
// record passes on its way into an aircraft's stream.
#include <fmt/format.h>

#include <cmath>
#include <mutex>

#include "core/settings.h"
#include "traffic/intake.h"
#include "traffic/traffic_cycle.h"
#include "traffic/traffic_state.h"
#include "traffic_harness.h"

namespace {

constexpr std::uint32_t kHex = 0x484F6D;

class IntakeTest : public TrafficHarness {};

TEST_F(IntakeTest, BatchTimesAreKeptAtATenthOfASecondAroundTheMedianAndDueAfterTheDelay) {
    g_trafficTick = 5000;
    std::vector<FlightRecord> batch;
    // The median of the sorted times, whatever the order of the records.
    const double times[] = {101.0, 100.0, 100.25};
    for (int i = 0; i < 3; ++i) batch.push_back(record(kHex + i, "KLM" + std::to_string(i + 1), "B738", Fix{.feedTime = times[i]}));
    takeBatch(batch, 30);
    ASSERT_EQ(g_handedOverRecords.size(), 3u);
    EXPECT_EQ(g_handedOverRecords[0].point.time, 8070);
    EXPECT_EQ(g_handedOverRecords[1].point.time, 7980);
    EXPECT_EQ(g_handedOverRecords[2].point.time, 8000);

    // A second poll while these still wait queues behind them.
    takeBatch({record(kHex + 9, "KLM9", "B738", Fix{})}, 30);
    EXPECT_EQ(g_handedOverRecords.size(), 4u);

    // Two records a pass, the last handed over first, the older poll first.
    run(1);
    ASSERT_EQ(g_liveAc.size(), 2u);
    EXPECT_EQ(g_liveAc[0].callsign, "KLM3");
    EXPECT_EQ(g_liveAc[1].callsign, "KLM2");
    run(1);
    ASSERT_EQ(g_liveAc.size(), 4u);
    EXPECT_EQ(g_liveAc[2].callsign, "KLM1");
    EXPECT_EQ(g_liveAc[3].callsign, "KLM9");

    // A closed hand-over refuses live polls; snapshots are decoded at once.
    gf_setTrafficHandover(false);
    takeBatch({record(kHex + 20, "KLM20", "B738", Fix{})}, 30);
    EXPECT_TRUE(g_handedOverRecords.empty());
    takeBatch({record(kHex + 21, "KLM21", "B738", Fix{})}, 12);
    ASSERT_NE(liveAc(kHex + 21), nullptr);
    EXPECT_EQ(liveAc(kHex + 21)->stream.front().time, g_trafficTick.load() + 1200);
}

// Dense traffic: 1,000 aircraft, their polls handed over faster than the
// engine decodes them (5 passes apart; a pass takes at most 64 records).
// Every point of every poll reaches its aircraft, in order: a poll still
// waiting goes behind the next, never lost to it.
TEST_F(IntakeTest, NoPollIsLostWithAThousandAircraft) {
    constexpr int kAircraft = 1000;
    constexpr int kPolls = 6;
    for (int poll = 0; poll < kPolls; ++poll) {
        std::vector<FlightRecord> batch;
        for (int i = 0; i < kAircraft; ++i) {
            const Fix fix{.lat = 50.0 + i * 0.01, .lon = 4.0 + poll * 0.001, .gs_kt = 100.0,
                          .feedTime = 1000.0 + poll * 2.0 + i * 0.0001};
            batch.push_back(record(0x400000 + static_cast<std::uint32_t>(i), "DLH" + std::to_string(i), "A320", fix));
        }
        takeBatch(std::move(batch), 30);
        run(5);
    }
    run(400);
    ASSERT_EQ(g_liveAc.size(), static_cast<std::size_t>(kAircraft));
    for (const LiveAc& ac : g_liveAc) ASSERT_EQ(ac.stream.size(), static_cast<std::size_t>(kPolls)) << ac.callsign;
}

// A busy region: a poll of 5,000 aircraft is decoded at an even 50 records a
// pass and done within a second, long before the next poll 2 s later: no
// pass takes a large share at once, and none is left for the next poll.
TEST_F(IntakeTest, ABusyPollIsDecodedAtAnEvenPaceWithinASecond) {
    constexpr int kAircraft = 5000;
    std::vector<FlightRecord> batch;
    for (int i = 0; i < kAircraft; ++i) {
        batch.push_back(record(0x400000 + static_cast<std::uint32_t>(i), "DLH" + std::to_string(i), "A320",
                               Fix{.lat = 50.0 + i * 0.001}));
    }
    takeBatch(std::move(batch), 30);
    for (int pass = 1; pass <= 100; ++pass) {
        run(1);
        std::lock_guard lock(g_trafficMutex);
        ASSERT_EQ(g_handedOverRecords.size(), static_cast<std::size_t>(kAircraft - 50 * pass)) << "pass " << pass;
    }
    EXPECT_EQ(g_liveAc.size(), static_cast<std::size_t>(kAircraft));
}

// The records of one batch see what the earlier ones changed: an aircraft's
// new callsign makes a second address reporting it a twin.
TEST_F(IntakeTest, ARecordSeesTheCallsignAnEarlierRecordOfItsBatchGave) {
    takeBatch({record(1000010, "KLM1", "B738", Fix{})}, 0);
    takeBatch({record(1000011, "KLM2", "B738", Fix{}),
               record(1000010, "KLM9", "B738", Fix{.lon = 4.01, .feedTime = 1005.0}),
               record(1000012, "KLM9", "B738", Fix{})},
              0);
    ASSERT_NE(liveAc(1000010), nullptr);
    EXPECT_EQ(liveAc(1000010)->callsign, "KLM9");
    EXPECT_NE(liveAc(1000011), nullptr);
    EXPECT_EQ(liveAc(1000012), nullptr);
    EXPECT_EQ(g_liveAc.size(), 2u);
}

TEST_F(IntakeTest, FeedTimesThatAreNoTimesOfThePollAreDropped) {
    struct Row {
        const char* what;
        double feedTime;
        bool kept;
    } rows[] = {
        {"not a number", std::nan(""), false},
        {"infinite", HUGE_VAL, false},
        {"minus infinite", -HUGE_VAL, false},
        {"a day after the poll", 1000.0 + 86400.0, false},
        {"a day before the poll", 1000.0 - 86400.0, false},
        {"an hour after the poll", 1000.0 + 3600.0, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        g_trafficTick = 5000;
        {
            std::lock_guard lock(g_trafficMutex);
            g_handedOverRecords.clear();
        }
        std::vector<FlightRecord> batch;
        for (int i = 0; i < 3; ++i) batch.push_back(record(kHex + i, "KLM" + std::to_string(i), "B738", Fix{}));
        batch.push_back(record(kHex + 9, "KLM9", "B738", Fix{.feedTime = r.feedTime}));
        takeBatch(batch, 30);
        std::lock_guard lock(g_trafficMutex);
        ASSERT_EQ(g_handedOverRecords.size(), r.kept ? 4u : 3u);
        for (const FlightRecord& h : g_handedOverRecords) {
            if (h.hexid != kHex + 9) {
                EXPECT_EQ(h.point.time, 8000) << "the median stays the poll's";
            }
        }
    }
    // A tick counter beyond the stream's 32-bit times: the record is
    // dropped, never wrapped into the past.
    g_trafficTick = std::int64_t{1} << 31;
    {
        std::lock_guard lock(g_trafficMutex);
        g_handedOverRecords.clear();
    }
    takeBatch({record(kHex, "KLM1", "B738", Fix{})}, 30);
    std::lock_guard lock(g_trafficMutex);
    EXPECT_TRUE(g_handedOverRecords.empty());
}

// A known aircraft with one point (airborne or on the ground) at feed time
// 1000, then one record: is it appended?
struct FilterRow {
    const char* what;
    bool airborne0;
    double gs0;
    double dt;
    double gs;
    double trackChange;
    bool airborne;
    bool kept;
};

TEST_F(IntakeTest, RecordFiltersTable) {
    const FilterRow rows[] = {
        {"same time", true, 250, 0.0, 250, 10, true, false},
        {"1.0 s newer", true, 250, 1.0, 250, 10, true, false},
        {"1.1 s newer", true, 250, 1.1, 250, 10, true, true},
        {"older", true, 250, -5.0, 250, 10, true, false},
        {"ten times faster", false, 10, 5, 100, 10, false, false},
        {"a tenth of the speed", false, 100, 5, 10, 10, false, false},
        {"0 kt after 90 kt", false, 90, 5, 0, 10, false, false},
        {"80 kt after standing", false, 0, 5, 80, 10, false, false},
        {"79 kt after standing", false, 0, 5, 79, 10, false, true},
        {"80 kt after standing, reported 20 s apart", false, 0, 20, 80, 10, false, false},
        {"airborne 150 kt after standing, after a silence of 21 s", false, 0, 21, 150, 10, true, true},
        {"jet straight 2 s: inside 450 m", true, 400, 2.0, 400, 0.5, true, false},
        {"jet straight 2.2 s: beyond 450 m", true, 400, 2.2, 400, 0.5, true, true},
        {"jet turning 2 s", true, 400, 2.0, 400, 1.5, true, true},
        {"taxi 10 kt 2 s: inside 20 m", false, 10, 2.0, 10, 1.0, false, false},
        {"taxi 10 kt 4 s: beyond 20 m", false, 10, 4.0, 10, 1.0, false, true},
        {"standing 14 s", false, 0, 14.0, 0, 0, false, false},
        {"standing 16 s", false, 0, 16.0, 0, 0, false, true},
        {"taxi turning", false, 10, 2.0, 10, 3.0, false, true},
    };
    for (const FilterRow& row : rows) {
        SCOPED_TRACE(row.what);
        g_liveAc.clear();
        takeBatch({record(kHex, "KLM1", "B738", Fix{.alt_ft = row.airborne0 ? 5000.0 : 0.0, .gs_kt = row.gs0})}, 0);
        ASSERT_EQ(g_liveAc.size(), 1u);
        takeBatch({record(kHex, "KLM1", "B738",
                          // Moved as far as its speed takes it: a point that stands still
                          // in the air is the stream checks' to drop.
                          Fix{.lon = 4.0 + row.gs * row.dt / 3600.0 / 60.0 / std::cos(52.0 * kDegToRad),
                              .alt_ft = row.airborne ? 5000.0 : 0.0, .gs_kt = row.gs,
                              .track_deg = 90.0 + row.trackChange, .feedTime = 1000.0 + row.dt})},
                  0);
        EXPECT_EQ(g_liveAc[0].stream.size(), row.kept ? 2u : 1u);
    }
}

// What a report says in its aircraft's context, 16 s after the last one:
// without a speed it rolls at the speed its positions show (a standing
// aircraft's jitter stays 0); read as the ground from an altitude above 0
// (grounded), it stays in the air when the aircraft is in the air and it
// climbs, is faster than any ground report (a low pass reading below the
// field), is a helicopter hovering above the simulator's ground, or has no
// speed while its positions and height are those of a flight.
TEST_F(IntakeTest, ReportsAreReadInTheirAircraftsContext) {
    HELICOPTERS.setValue(true);
    struct Row {
        const char* what;
        const char* type;
        double alt0_ft, gs0_kt, gs_kt;
        bool speedUnknown;
        double vrate_fpm, grounded_ft;
        bool airborne;
        double expected_kt;
        double simGround_ft = 0.0;
        bool inAir = false;  // the feed passed it in the air, at 468 ft
        bool rolling = false;  // on its wheels down the runway
    } const rows[] = {
        {"a roll without a speed at 70 kt", "B738", 0, 60, 70, true, 0, 0, false, 70},
        {"a standing aircraft's jitter of 10 kt", "B738", 0, 0, 10, true, 0, 0, false, 0},
        {"in the air, climbing 960 ft/min", "B738", 520, 110, 110, false, 960, 468, true, 110},
        {"in the air, level at 130 kt", "B738", 520, 130, 130, false, 0, 468, true, 130},
        {"in the air, level at 110 kt", "B738", 520, 110, 110, false, 0, 468, false, 110},
        {"on the ground, climbing", "B738", 0, 130, 130, false, 960, 468, false, 130},
        {"a helicopter hovering at 10 kt", "EC35", 520, 10, 10, false, 0, 468, true, 10},
        {"a helicopter standing", "EC35", 520, 0, 0, false, 0, 468, false, 0},
        {"an aeroplane at 10 kt", "B738", 520, 10, 10, false, 0, 468, false, 10},
        // A high-pressure day read with a lower QNH: the reports of an
        // approach go on below the simulator's runway to their touchdown.
        {"in the air, sinking 700 ft/min at 90 kt", "B738", 520, 90, 90, false, -700, 468, true, 90},
        {"in the air at 130 kt, below the simulator's ground", "B738", 520, 130, 130, false, 0, 468, true, 130, 500},
        {"in the air without a speed, level at 90 kt by its positions", "B738", 520, 110, 90, true, 0, 468, true, 90},
        {"without a speed, 40 ft above the ground at 90 kt", "B738", 520, 110, 90, true, 0, 40, false, 90},
        {"in the air without a speed, high above the field: the speed it had", "B738", 520, 110, 90, true, 0, 0, true,
         110, 0.0, true},
        {"a standing aircraft's spike without a speed is the ground", "B738", 0, 0, 10, true, 0, 0, false, 0, 0.0, true},
        // A roll's report without a speed that climbs is its lift-off, at
        // the roll's speed (its places jitter); one that does not climb is
        // a spike.
        {"a roll's lift-off without a speed", "BE58", 0, 110, 60, true, 1200, 0, true, 110, 0.0, true, true},
        {"a roll's lift-off without a speed, near the field", "BE58", 0, 110, 60, true, 1200, 468, true, 110, 0.0, false,
         true},
        {"a roll's spike without a speed and no climb", "BE58", 0, 110, 60, true, 0, 0, false, 60, 0.0, true, true},
    };
    constexpr double kDt_s = 16.0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_liveAc.clear();
        takeBatch({record(kHex, "CALIBRA", row.type, Fix{.alt_ft = row.alt0_ft, .gs_kt = row.gs0_kt})}, 0);
        ASSERT_EQ(g_liveAc.size(), 1u);
        g_liveAc[0].motion.more.simGroundKnown = true;
        g_liveAc[0].motion.more.simGround_ft = row.simGround_ft;
        g_liveAc[0].groundMode = row.rolling ? 1 : 0;
        FlightRecord r = record(kHex, "CALIBRA", row.type,
                                Fix{.lon = 4.0 + row.gs_kt * kDt_s / 3600.0 / 60.0 / std::cos(52.0 * kDegToRad),
                                    .alt_ft = row.inAir ? 468.0 : 0.0, .gs_kt = row.speedUnknown ? 0.0 : row.gs_kt,
                                    .feedTime = 1000.0 + kDt_s});
        r.speedUnknown = row.speedUnknown;
        r.point.vrate = row.vrate_fpm;
        r.groundedAlt_ft = row.grounded_ft;
        takeBatch({r}, 0);
        ASSERT_EQ(g_liveAc[0].stream.size(), 2u);
        EXPECT_EQ(g_liveAc[0].stream.back().airborne, row.airborne);
        EXPECT_EQ(g_liveAc[0].stream.back().alt, row.airborne ? 468.0 : 0.0);
        EXPECT_NEAR(g_liveAc[0].stream.back().gs, row.expected_kt, 0.5);
    }
}

// A report read as the ground, of an aircraft in the air, is taken only
// where the aircraft can have come down to the ground since its last point:
// without an altitude 300 ft and 3,000 ft/min; with one, for a light
// aircraft or a helicopter, 2,000 ft/min and 300 ft (a reading of 0) or
// 50 ft (a reading below the field), none of 0 within 15 s of a report
// climbing away, and none of 0 that sinks on at a flight's rate farther
// than that rate comes down. A helicopter's report without an
// altitude, moving faster than it taxis (by its positions when it has no
// speed either), hovers on however low it was.
TEST_F(IntakeTest, AGroundReadingIsTheGroundOnlyWithinReachOfIt) {
    HELICOPTERS.setValue(true);
    struct Row { const char* type; double alt0_ft, dt_s; bool noAltitude; double grounded_ft; bool kept; double gs_kt = 90.0; double vrate0_fpm = 0.0; bool noSpeed = false; bool onWheels = false; double vrate_fpm = 0.0; };
    for (const Row& row : {Row{"B738", 2500, 16, true, 0, false}, Row{"B738", 900, 16, true, 0, true},
                          Row{"BE58", 600, 5, false, 0, false}, Row{"BE58", 400, 5, false, 0, true},
                          Row{"BE58", 1500, 16, false, 40, false},
                          // climbing away 200 ft up (a spike at the bottom of a low pass), and still 20 s on
                          Row{"BE58", 200, 5, false, 0, false, 90.0, 500}, Row{"BE58", 200, 20, false, 0, true, 90.0, 500},
                          // so also on its wheels after a touch on a low pass
                          Row{"BE58", 200, 5, false, 0, false, 90.0, 500, false, true},
                          Row{"B738", 600, 5, false, 0, true},  // an airliner's: its approach's rules
                          // a reading of 0 sinking at the descent's 384 ft/min: no wheel reports that
                          Row{"BE58", 400, 5, false, 0, false, 90.0, -384, false, false, -384},
                          Row{"BE58", 100, 5, false, 0, true, 90.0, -384, false, false, -384},
                          Row{"EC35", 45, 2, false, -230, false}, Row{"EC35", 45, 2, false, -20, true},
                          Row{"EC35", 40, 10, true, 0, false, 8.0},
                          // without a speed too: its positions tell whether it moves on or stands
                          Row{"EC35", 40, 16, true, 0, false, 12.0, 0.0, true}, Row{"EC35", 40, 16, true, 0, true, 0.0, 0.0, true}}) {
        SCOPED_TRACE(fmt::format("{} {} ft up, {} s, {} kt", row.type, row.alt0_ft, row.dt_s, row.gs_kt));
        g_liveAc.clear();
        const double dLon_5s = row.gs_kt * 5.0 / 3600.0 / 60.0 / std::cos(52.0 * kDegToRad);
        // A rate is a run of reports in the air: one more 5 s before.
        const std::size_t before = row.vrate0_fpm != 0.0 ? 2u : 1u;
        if (before == 2u) {
            FlightRecord earlier = record(kHex, "KLM1", row.type,
                                          Fix{.lon = 4.0 - dLon_5s, .alt_ft = row.alt0_ft - row.vrate0_fpm / 12.0,
                                              .gs_kt = row.gs_kt, .feedTime = 995.0});
            earlier.point.vrate = row.vrate0_fpm;
            takeBatch({earlier}, 0);
            ASSERT_EQ(g_liveAc.size(), 1u);
            g_liveAc[0].motion.more.simGroundKnown = true;
        }
        FlightRecord first = record(kHex, "KLM1", row.type, Fix{.alt_ft = row.alt0_ft, .gs_kt = row.gs_kt});
        first.point.vrate = row.vrate0_fpm;
        takeBatch({first}, 0);
        ASSERT_EQ(g_liveAc.size(), 1u);
        ASSERT_EQ(g_liveAc[0].stream.size(), before);
        g_liveAc[0].motion.more.simGroundKnown = true;
        g_liveAc[0].cgHeight = 0.0;
        g_liveAc[0].groundMode = row.onWheels ? 1 : 0;
        FlightRecord r = record(kHex, "KLM1", row.type,
                                Fix{.lon = 4.0 + row.gs_kt * row.dt_s / 3600.0 / 60.0 / std::cos(52.0 * kDegToRad),
                                    .alt_ft = 0.0, .gs_kt = row.gs_kt, .feedTime = 1000.0 + row.dt_s});
        r.altitudeUnknown = row.noAltitude;
        r.speedUnknown = row.noSpeed;
        if (row.noSpeed) r.point.gs = 0.0;
        r.groundedAlt_ft = row.grounded_ft;
        r.point.vrate = row.vrate_fpm;
        takeBatch({r}, 0);
        EXPECT_EQ(g_liveAc[0].stream.size(), row.kept ? before + 1 : before);
    }
}

TEST_F(IntakeTest, NewAircraftOnlyOfKnownWantedTypesAndNeverTwiceUnderTwoAddresses) {
    HELICOPTERS.setValue(false);
    useParkAirport(52.3, 4.76, 0.0);
    FlightRecord speedless = record(1000007, "KLM9", "B738", Fix{.alt_ft = 36000.0, .gs_kt = 0.0});
    speedless.speedUnknown = true;  // in the air without a speed: maybe a standing aircraft's spike
    takeBatch({record(1000001, "HELI1", "EC35", Fix{}),           // rotorcraft while HELICOPTERS is off
               record(1000002, "ZZZ1", "XXXX", Fix{}),            // type unknown to the Dbase
               record(1000003, "DLH1", "XXXX", Fix{}, "D-AIZA"),  // the registration's type replaces it
               record(1000004, "KLM7", "B738", Fix{}),
               record(1000005, "KLM7", "B738", Fix{}),            // the same flight under a second address
               record(1000006, "KLM8", "B738", Fix{.alt_ft = 100.0}),  // an airport-elevation ground report
               speedless},
              0);
    ASSERT_EQ(g_liveAc.size(), 2u);
    EXPECT_EQ(g_liveAc[0].type, "A320");
    EXPECT_EQ(g_liveAc[0].category, AcCategory::Large);
    EXPECT_EQ(g_liveAc[0].callsignCopy, "DLH1");
    EXPECT_EQ(g_liveAc[1].hexid, 1000004u);
    EXPECT_DOUBLE_EQ(g_liveAc[1].maxClimb, 1.0);
    EXPECT_DOUBLE_EQ(g_liveAc[1].slowGroundSpeed, 4.0);
    EXPECT_EQ(g_liveAc[1].simState, SimState::buffer);
    EXPECT_EQ(g_liveAc[1].flightState, FlightState::birth);
}

}  // namespace
