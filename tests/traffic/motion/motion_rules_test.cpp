// The rules of the motion, the stream checks, parking and the livery
// respawn, one row per case, on hand-built active aircraft.
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <tuple>
#include <vector>

#include "airports/park_airport_state.h"
#include "core/settings.h"
#include "simlink/sim_ids.h"
#include "simlink/sim_queues.h"
#include "motion_harness.h"
#include "traffic/air_motion.h"
#include "traffic/intake.h"
#include "traffic/livery_respawn.h"
#include "traffic/motion_reports.h"
#include "traffic/object_events.h"
#include "traffic/parking.h"
#include "traffic/static_parking.h"
#include "traffic/ai_commands.h"
#include "traffic/stream_checks.h"
#include "traffic/traffic_state.h"

namespace {

constexpr std::uint32_t kRulesHex = 0x400001;
// One nautical mile in degrees of latitude.
constexpr double kNmLat = 1.0 / 60.0;

struct Rule {
    const char* what;
    std::function<void()> run;
};

class MotionRules : public MotionHarness {
protected:
    static void runRows(const std::vector<Rule>& rows) {
        for (const Rule& row : rows) {
            SCOPED_TRACE(row.what);
            g_liveAc.clear();
            g_staticAc.clear();
            g_staticCreationQueue.clear();
            g_respawnRemovalQueue.clear();
            gf_clearStands();
            g_standsLoaded = false;
            g_trafficTick = 1000;
            g_flareActive = false;
            gf_clearSimCommandQueues();
            row.run();
        }
    }
    static std::vector<std::uint32_t> events(std::uint32_t eventId) {
        std::vector<std::uint32_t> out;
        for (const AiEventCmd& e : g_simQueues.events)
            if (e.eventId == eventId) out.push_back(e.data);
        return out;
    }
    static LiveAc& level(std::int32_t dueNext = 1300) {
        return activeAc(kRulesHex, {point(52.0, 4.0, 5000, 250, 1000), point(52.0 + 250 * kNmLat / 3600 * 3, 4.0, 5000, 250, dueNext),
                               point(52.0 + 250 * kNmLat / 3600 * 6, 4.0, 5000, 250, dueNext + 300)});
    }
};

TEST_F(MotionRules, AirMotionTable) {
    runRows({
        {"a stationary airborne point between two moving ones is dropped",
         [] {
             LiveAc& ac = level();
             ac.stream[1].stationary = true;
             nextPosMain(ac);
             EXPECT_EQ(ac.stream.size(), 1u);
             EXPECT_FALSE(ac.stream.front().stationary);
         }},
        {"a helicopter keeps it and hovers",
         [] {
             LiveAc& ac = level();
             ac.category = AcCategory::Rotorcraft;
             ac.stream[1].stationary = true;
             nextPosMain(ac);
             EXPECT_EQ(ac.stream.size(), 2u);
             EXPECT_EQ(ac.motion.latVelocity_deg, 0.0);
         }},
        {"a point due in the past still gives 25 ticks",
         [] {
             LiveAc& ac = level(900);
             ac.stream[1].gs = ac.stream[0].gs = 10000;  // planned in a few ticks
             nextPosMain(ac);
             EXPECT_EQ(ac.stream.front().time, 1025);
         }},
        {"an aircraft behind its next point (a gap, a report leaping ahead, a window pulling the due time in) "
         "catches up at a quarter over its reported speed plus 10 kt, or over the speed its due times show; "
         "within reach it keeps the due time",
         [] {
             struct Case {
                 double behind_nm, gs_kt, speed_kt;
             };
             // The next point lies 0.208 nm (3 s at 250 kt) ahead of the front.
             for (const Case c : {Case{1.0, 250.0, 322.5}, Case{1.0, 60.0, 85.0}, Case{1.0, 0.0, 322.5},
                                  Case{0.05, 250.0, 0.258 * 360000.0 / 300.0}}) {
                 g_liveAc.clear();
                 LiveAc& ac = level();
                 for (StreamPoint& p : ac.stream) p.gs = c.gs_kt;
                 ac.pos.lat -= c.behind_nm * kNmLat;
                 nextPosMain(ac);
                 const double speed_kt = ac.motion.latVelocity_deg * 60.0 * 360000.0;
                 EXPECT_NEAR(speed_kt, c.speed_kt, 1.0) << c.behind_nm << " nm behind at " << c.gs_kt << " kt";
             }
         }},
        {"an aircraft circling between its reports (a glider in a thermal: 100 m on in 15 s at 60 kt) keeps their "
         "times where the reported tracks leave the line to the next report or the one after; along them it flies "
         "the line at its speed",
         [] {
             struct Case {
                 double frontTrack, nextTrack, afterEast_m;  // the report after the next: east of it, or none
                 bool keepsTime;
             };
             constexpr double kM = 1.0 / 1852.0 / 60.0;  // one metre in degrees of latitude
             for (const Case c : {Case{0, 0, 0, false}, Case{180, 180, 0, true}, Case{0, 100, 0, true},
                                  Case{0, 0, 100, true}}) {
                 g_liveAc.clear();
                 StreamPoint front = point(44.0, 6.0, 6000, 60, 1000), next = point(44.0 + 100 * kM, 6.0, 6000, 60, 2500);
                 StreamPoint after = point(44.0 + 100 * kM, 6.0 + 100 * kM / std::cos(44.0 * kDegToRad), 6000, 60, 4000);
                 front.track = c.frontTrack;
                 next.track = c.nextTrack;
                 after.track = 0;
                 LiveAc& ac = c.afterEast_m > 0 ? activeAc(kRulesHex, {front, next, after}) : activeAc(kRulesHex, {front, next});
                 nextPosMain(ac);
                 EXPECT_EQ(ac.stream.front().time >= 2300, c.keepsTime)
                     << c.frontTrack << "/" << c.nextTrack << "/" << c.afterEast_m << ": due " << ac.stream.front().time;
             }
         }},
        {"below 1000 ft without the landing mark a lower point is followed down, never onto the terrain",
         [] {
             // 900 ft above terrain at 4100 ft; the next point is 300 ticks
             // ahead; the wheels stay 10 ft above the terrain.
             for (const auto& [nextAlt, perTick] : {std::pair{4500.0, -500.0 / 300}, std::pair{3000.0, -890.0 / 300}}) {
                 g_liveAc.clear();
                 LiveAc& ac = level();
                 ac.heightAboveGround = 900;
                 ac.stream[1].alt = nextAlt;
                 nextPosMain(ac);
                 EXPECT_NEAR(ac.motion.verticalSpeed_ftPerTick, perTick, 1e-9) << nextAlt;
             }
         }},
        {"an airliner climbs as fast as its light real types do after take-off (5,000 fpm), a wide-body 4,000 fpm",
         [] {
             for (const auto& [category, climb_ft] :
                  {std::pair{AcCategory::Large, 250.0}, std::pair{AcCategory::Heavy, 200.0}}) {
                 g_liveAc.clear();
                 LiveAc& ac = level();
                 ac.category = category;
                 ac.maxClimb = gf_categoryMotion(category).maxClimb_ft;
                 ac.stream[1].alt = 5000 + climb_ft;  // 3 s ahead
                 nextPosMain(ac);
                 EXPECT_NEAR(ac.motion.verticalSpeed_ftPerTick, climb_ft / 300, 1e-9);
             }
         }},
        {"the run of the reports ahead turns it: a descent climbs toward no report above it, a climb climbs on "
         "along its run past one below; a go-around climbs at once, and a climb flies on to its top; where the "
         "transponder's rates at both ends say it climbs (a thermal on a glide) or sinks, it does",
         [] {
             struct Case {
                 double run_ft, nextOff_ft, was_ftPerTick;  // per point of 3 s; the next point off the run; before
                 bool climbs;
                 double rate_fpm = 0.0;  // reported at the front and the next point
             };
             for (const Case c : {Case{-100, 200, -0.5, false}, Case{100, -200, 0.5, true}, Case{100, -90, 0.5, true},
                                  Case{100, 0, -0.5, true}, Case{-100, 200, 0.5, true}, Case{-100, 200, -0.5, true, 700},
                                  Case{100, -200, 0.0, false, -700}}) {
                 g_liveAc.clear();
                 LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 5000, 250, 1000, c.rate_fpm)});
                 for (int i = 1; i <= 8; ++i) {
                     const double alt = 5000 + c.run_ft * i + (i == 1 ? c.nextOff_ft : 0.0);
                     ac.stream.push_back(
                         point(52.0 + 250 * kNmLat / 3600 * 3 * i, 4.0, alt, 250, 1000 + 300 * i, i == 1 ? c.rate_fpm : 0.0));
                 }
                 ac.motion.verticalSpeed_ftPerTick = c.was_ftPerTick;
                 nextPosMain(ac);
                 const double vs = ac.motion.verticalSpeed_ftPerTick;
                 // Climbing, at the run's 100 ft a point (a third of a foot
                 // a tick), not creeping toward a report the run passes.
                 EXPECT_TRUE(c.climbs ? vs > 0.3 : c.rate_fpm < 0.0 ? vs < -0.3 : vs == 0.0)
                     << vs << " ft a tick, run " << c.run_ft << " ft a point, rates " << c.rate_fpm;
             }
         }},
        {"with the landing mark it descends",
         [] {
             LiveAc& ac = level();
             ac.heightAboveGround = 900;
             ac.motion.more.landing = true;
             ac.stream[1].alt = 4700;
             nextPosMain(ac);
             EXPECT_NEAR(ac.motion.verticalSpeed_ftPerTick, -1.0, 1e-9);
         }},
        {"with the landing mark, a roll-out level on the runway within one 25 ft altimeter step: down at the "
         "landing rate; a slow descent, or a low pass keeping its speed, is followed",
         [] {
             struct Case {
                 double step_ft, gs_kt, perTick;
             };
             // At 100 kt the next point is 750 ticks ahead, at 150 kt 500.
             for (const Case c : {Case{25.0, 100.0, -601.0 / 6000.0}, Case{12.0, 100.0, -12.0 / 750},
                                  Case{25.0, 150.0, -25.0 / 500}}) {
                 g_liveAc.clear();
                 LiveAc& ac = level();
                 ac.heightAboveGround = 230;
                 ac.motion.more.landing = true;
                 for (StreamPoint& p : ac.stream) p.gs = c.gs_kt;
                 // Flickering by one step, or coming down 12 ft a point.
                 ac.stream[1].alt = 5000 - c.step_ft;
                 ac.stream[2].alt = c.step_ft == 25.0 ? 5000 : 5000 - 2 * c.step_ft;
                 ac.stream.push_back(
                     point(52.01, 4.0, 5000 - (c.step_ft == 25.0 ? 25 : 3 * c.step_ft), c.gs_kt * 0.8, 1900));
                 nextPosMain(ac);
                 EXPECT_DOUBLE_EQ(ac.motion.verticalSpeed_ftPerTick, c.perTick) << c.step_ft << " ft, " << c.gs_kt;
             }
         }},
        {"away from any airport an approach configures once: a level stretch keeps gear and flaps down, reports "
         "that climb away raise them once, and a new descent lowers the gear again only half a minute later",
         [] {
             // 1900 ft above the ground, coming down 700 fpm over 15 s of
             // reports, then level for 30 s, then climbing away.
             LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 5000, 150, 1000, -700)});
             ac.heightAboveGround = 1900;
             auto more = [&](int n, double fpm) {
                 for (int i = 0; i < n; ++i) {
                     const StreamPoint& last = ac.stream.back();
                     ac.stream.push_back(point(last.lat + 150 * kNmLat / 3600 * 3, 4.0, last.alt + fpm / 20, 150,
                                               last.time + 300, fpm));
                 }
             };
             auto fly = [&](int segments) {
                 for (int i = 0; i < segments; ++i) {
                     g_trafficTick = ac.stream.front().time;
                     nextPosMain(ac);
                 }
             };
             more(5, -700);
             fly(1);
             ASSERT_TRUE(ac.motion.more.landing) << "configured far from any stand file";
             EXPECT_EQ(ac.lastFlaps, 3);
             more(10, 0);
             fly(8);
             EXPECT_TRUE(ac.motion.more.landing) << "a level stretch is no go-around";
             // The newest report 400 ft up while it sinks as before: a
             // receiver's spike, which the reports after it take out.
             more(1, 0);
             ac.stream.back().alt += 400;
             ac.stream.back().vrate = -700;
             fly(1);
             EXPECT_TRUE(ac.motion.more.landing) << "a spike is no go-around";
             ac.stream.back().alt -= 400;
             EXPECT_EQ(events(SimEventGearSet), std::vector<std::uint32_t>{1});
             more(10, 1200);
             std::int64_t up = 0;
             for (int i = 0; i < 8; ++i) {
                 fly(1);
                 if (!up && events(SimEventGearSet).size() == 2) up = g_trafficTick.load();
             }
             EXPECT_FALSE(ac.motion.more.landing);
             EXPECT_EQ(events(SimEventGearSet), (std::vector<std::uint32_t>{1, 0}));
             EXPECT_EQ(ac.lastFlaps, 0);
             // Reports that come down again at once: the gear comes down
             // again only half a minute after it came up.
             ac.stream.resize(1);
             more(20, -700);
             std::int64_t down = 0;
             for (int i = 0; i < 20 && !down; ++i) {
                 fly(1);
                 if (events(SimEventGearSet).size() == 3) down = g_trafficTick.load();
             }
             EXPECT_EQ(events(SimEventGearSet), (std::vector<std::uint32_t>{1, 0, 1}));
             EXPECT_GE(down - up, 2700) << "down again " << down - up << " ticks after it came up";
         }},
        {"a level leg about 2,400 ft above the ground whose reports step 25 ft changes no flaps; above the retraction "
         "height the gear goes up once",
         [] {
             LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 5000, 150, 1000)});
             ac.lastFlaps = 0;
             for (int i = 1; i <= 12; ++i)
                 ac.stream.push_back(point(52.0 + i * 150 * kNmLat / 3600 * 3, 4.0, i % 2 ? 5010 : 4998, 150, 1000 + 300 * i));
             for (int i = 0; i < 10; ++i) {
                 ac.heightAboveGround = ac.stream.front().alt - 2600;  // 2,398 and 2,410 ft
                 g_trafficTick = ac.stream.front().time;
                 nextPosMain(ac);
             }
             EXPECT_TRUE(events(SimEventFlapsSet).empty());
             EXPECT_EQ(ac.lastFlaps, 0);
             // Above the retraction height the gear goes up once, not on
             // every step.
             for (int i = 0; i < 10 && ac.stream.size() > 1; ++i) {
                 ac.heightAboveGround = 3000;
                 g_trafficTick = ac.stream.front().time;
                 nextPosMain(ac);
             }
             EXPECT_EQ(events(SimEventGearSet), std::vector<std::uint32_t>{0});
         }},
        {"a touch-and-go seen whole in the stream: gear and flaps stay down through the touch and come up once "
         "on the climb-out",
         [] {
             // 230 ft up, 700 fpm down to two ground reports, then climbing
             // 1,200 fpm: the stream shows the climb-out while the aircraft
             // still comes down.
             LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 230, 120, 1000, -700)});
             ac.heightAboveGround = 230;
             auto add = [&](double alt, double fpm, bool airborne) {
                 const StreamPoint& last = ac.stream.back();
                 StreamPoint p = point(last.lat + 120 * kNmLat / 3600 * 3, 4.0, alt, 120, last.time + 300, fpm);
                 p.airborne = airborne;
                 ac.stream.push_back(p);
             };
             for (int i = 1; i <= 5; ++i) add(230 - 35 * i, -700, true);
             add(0, 0, false);
             add(0, 0, false);
             for (int i = 1; i <= 8; ++i) add(60 * i, 1200, true);
             std::vector<std::uint32_t> gear;
             for (int i = 0; i < 12 && ac.stream.size() > 2; ++i) {
                 const bool touchAhead = std::any_of(ac.stream.begin(), ac.stream.end(),
                                                     [](const StreamPoint& p) { return !p.airborne; });
                 g_trafficTick = ac.stream.front().time;
                 nextPosMain(ac);
                 for (std::uint32_t g : events(SimEventGearSet))
                     if (gear.empty() || gear.back() != g) gear.push_back(g);
                 gf_clearSimCommandQueues();
                 if (touchAhead && !gear.empty()) {
                     EXPECT_NE(gear.back(), 0u) << "gear up before the touch, segment " << i;
                 }
                 if (touchAhead) {
                     EXPECT_EQ(ac.lastFlaps, 3) << "flaps up before the touch, segment " << i;
                 }
             }
             EXPECT_EQ(gear, (std::vector<std::uint32_t>{1, 0}));
             EXPECT_EQ(ac.lastFlaps, 0);
         }},
        {"one report 25 ft low at 500 ft, or a descent of 300 fpm 1,900 ft above the ground, is no approach",
         [] {
             struct Case {
                 double height_ft, firstLow_ft, fpm;
             };
             for (const Case c : {Case{500, 25, 0}, Case{1900, 0, -300}}) {
                 g_liveAc.clear();
                 gf_clearSimCommandQueues();
                 LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 5000 - c.firstLow_ft, 150, 1000, c.firstLow_ft ? -320 : c.fpm)});
                 ac.heightAboveGround = c.height_ft;
                 for (int i = 1; i <= 10; ++i)
                     ac.stream.push_back(point(52.0 + i * 150 * kNmLat / 3600 * 3, 4.0, 5000 + c.fpm / 20 * i, 150,
                                               1000 + 300 * i, c.fpm));
                 nextPosMain(ac);
                 EXPECT_FALSE(ac.motion.more.landing) << c.height_ft;
                 EXPECT_TRUE(events(SimEventGearSet).empty()) << c.height_ft;
             }
         }},
        {"no park airport and QNH 1013: -601 fpm down to a ground point",
         [] {
             LiveAc& ac = level();
             ac.stream[1].alt = 0;
             ac.stream[1].airborne = false;
             g_engineQnh = 1013;
             nextPosMain(ac);
             EXPECT_DOUBLE_EQ(ac.motion.targetVerticalRate_fpm, -601.0);
             EXPECT_DOUBLE_EQ(ac.motion.verticalSpeed_ftPerTick, -601.0 / 6000.0);
         }},
        {"the altitudes decide where it goes, the reported rates only shape it",
         [] {
             // Ground reports only, rates scattered above zero: no climb (was 601 fpm).
             LiveAc& onGround = activeAc(kRulesHex, {point(52.0, 4.0, 0, 30, 1000, 200)});
             onGround.pos.alt = onGround.heightAboveGround = 60;
             for (int i = 1; i <= 4; ++i) onGround.stream.push_back(point(52.0 + i * 0.0005, 4.0, 0, 30, 1000 + 300 * i, 200));
             nextPosMain(onGround);
             EXPECT_LE(onGround.motion.verticalSpeed_ftPerTick, 0.0) << "climbed from reports all on the ground";
             // Down to a ground report at QNH 1030: the reported 700 fpm (was 801).
             g_liveAc.clear();
             g_engineQnh = 1030;
             LiveAc& arriving = level();
             arriving.heightAboveGround = 1000;
             for (StreamPoint& p : arriving.stream) p.vrate = -700;
             arriving.stream[1].alt = 0;
             arriving.stream[1].airborne = false;
             nextPosMain(arriving);
             g_engineQnh = 1013;
             EXPECT_DOUBLE_EQ(arriving.motion.targetVerticalRate_fpm, -700.0);
             // A take-off run climbing by its rates, its altitudes on the
             // ground: no rotation (was at once); a silent run goes by the
             // rates of its extension and rotates.
             g_liveAc.clear();
             LiveAc& run = activeAc(kRulesHex, {point(52.0, 4.0, 0, 120, 1000, 900)}, true);
             run.motion.more.takeOffRun = true;
             for (int i = 1; i <= 4; ++i) run.stream.push_back(point(52.0 + i * 0.002, 4.0, 0, 150, 1000 + 300 * i, 900));
             nextPosMain(run);
             EXPECT_NE(run.flightState, FlightState::take_off);
             g_liveAc.clear();
             LiveAc& silent = activeAc(kRulesHex, {point(52.0, 4.0, 0, 150, 1000)}, true);
             silent.motion.more.takeOffRun = true;
             lf_extendStream(silent, 10);
             nextPosMain(silent);
             EXPECT_EQ(silent.flightState, FlightState::take_off);
             // A level hold whose rates say 512 fpm down keeps its nose level.
             g_liveAc.clear();
             LiveAc& hold = level();
             for (StreamPoint& p : hold.stream) p.vrate = -512;
             hold.pos.pitch = -3.0 * kDegToRad;
             nextPosMain(hold);
             EXPECT_NEAR(hold.motion.pitchRate_rad, 0.0, 1e-12) << "pitched for the reported rate";
         }},
        {"a last report in the air flown after the ground report puts no runway above it",
         [] {
             // 309 ft, due 2 s before the ground report but 8 s of flight away.
             LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 320, 130, 1000, -640),
                                          point(52.0 + 0.3 * kNmLat, 4.0, 309, 130, 1300, -640),
                                          point(52.0 + 0.32 * kNmLat, 4.0, 0, 130, 1500, -640)});
             ac.motion.more.landing = ac.motion.more.simGroundKnown = true;
             ac.heightAboveGround = 312;
             nextPosMain(ac);
             ASSERT_GT(ac.stream.front().time, 1500);
             EXPECT_LE(ac.motion.more.runwayOffsetApplied_ft, 309.0 - ac.cgHeight);
         }},
        {"one ground report alone at the end of an approach's stream, 550 ft below the reports, takes no runway gap "
         "in until a second one bears it out; a report after them back on the approach's descent shows both were "
         "readings cut at zero, flown as that descent: the dive toward them stops and its gap is flown back level",
         [] {
             for (const int after : {0, 1, 2}) {  // reports after the first on the ground
                 const bool second = after == 1;
                 g_liveAc.clear();
                 LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 600, 130, 1000, -640),
                                              point(52.0 + 0.15 * kNmLat, 4.0, 575, 130, 1400, -640),
                                              point(52.0 + 0.22 * kNmLat, 4.0, 0, 130, 1600, -640)});
                 if (after > 0) ac.stream.push_back(point(52.0 + 0.29 * kNmLat, 4.0, 0, 130, 1800, -640));
                 if (after > 1) ac.stream.push_back(point(52.0 + 0.36 * kNmLat, 4.0, 510, 130, 2000, -640));
                 ac.motion.more.landing = ac.motion.more.simGroundKnown = true;
                 ac.motion.more.simGround_ft = -11.0;
                 ac.heightAboveGround = 611;
                 nextPosMain(ac);
                 if (second)
                     EXPECT_GT(ac.motion.more.runwayOffsetApplied_ft, 20.0) << "the runway gap is taken in";
                 else
                     EXPECT_NEAR(ac.motion.more.runwayOffsetApplied_ft, 0.0, 1.0) << "a spike taken for the runway";
                 if (second) {  // a report on the descent comes after them half way down the dive
                     ac.stream.push_back(point(52.0 + 0.36 * kNmLat, 4.0, 510, 130, 2000, -640));
                     g_trafficTick = 1200;
                     gf_leaveGoneRunway(ac);
                     EXPECT_NEAR(ac.motion.verticalSpeed_ftPerTick, -640.0 / 6000.0, 1e-9) << "dives on";
                     ac.pos.alt = 575.0 - ac.motion.more.runwayOffsetApplied_ft;
                     nextPosMain(ac);
                     EXPECT_NEAR(ac.motion.verticalSpeed_ftPerTick, 0.0, 1e-9) << "sinks on under its reports";
                 }
                 if (after < 2) continue;
                 g_trafficTick = ac.stream.front().time;
                 nextPosMain(ac);
                 EXPECT_TRUE(ac.stream.front().airborne) << "flown down to a reading cut at zero";
             }
         }},
        {"an airliner reported level at both ends of a segment leaves its level for a point 350 ft below at 500 fpm",
         [] {
             LiveAc& ac = level();
             ac.motion.more.ratesSeen = true;
             ac.stream[1].alt = 4650;
             nextPosMain(ac);
             EXPECT_NEAR(ac.motion.verticalSpeed_ftPerTick, -500.0 / 6000.0, 1e-9);
         }},
        {"a descending airliner does not climb toward a point 300 ft up whose report sinks; toward one that climbs "
         "it does; nor does it dive toward one 300 ft under the line to the report after it that holds its "
         "reported sink, unless that report bears it out; nor does a glider",
         [] {
             struct Case {
                 double next_ft, rate, after_ft, lowest, highest;  // the descent in ft a tick: (lowest, highest]
                 bool glider = false;
             };
             for (const Case c : {Case{2550, -700, 2160, -1e9, 0.0}, Case{2550, 1500, 2160, 0.0, 1e9},
                                  Case{1930, -700, 2160, -0.2, 0.0}, Case{1930, -700, 1860, -1e9, -0.5},
                                  Case{1930, -700, 2160, -0.2, 0.0, true}}) {
                 g_liveAc.clear();
                 LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 2300, 180, 1000, -700),
                                              point(52.0 + 0.3 * kNmLat, 4.0, c.next_ft, 180, 1600, c.rate),
                                              point(52.0 + 0.6 * kNmLat, 4.0, c.after_ft, 180, 2200, -700)});
                 if (c.glider) ac.category = AcCategory::Light;
                 ac.heightAboveGround = 2300;
                 ac.motion.verticalSpeed_ftPerTick = -700.0 / 6000.0;
                 nextPosMain(ac);
                 const double vs = ac.motion.verticalSpeed_ftPerTick;
                 EXPECT_TRUE(vs > c.lowest && vs <= c.highest) << vs << " ft a tick toward " << c.next_ft << " ft";
             }
         }},
        {"a latitude past 90 is folded back and the longitude turned round",
         [] {
             LiveAc& ac = level();
             ac.stream.front().stationary = false;
             ac.pos.lat = 89.9999;
             ac.pos.lon = 10.0;
             ac.motion.latVelocity_deg = 0.0002;
             ac.motion.lonVelocity_deg = 0.0;
             lf_tickMove(ac);
             EXPECT_NEAR(ac.pos.lat, 89.9999, 1e-9);
             EXPECT_NEAR(ac.pos.lon, -170.0, 1e-9);
         }},
        {"crossing 10000 ft changes the lights once per crossing",
         [] {
             LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 12000, 250, 1000), point(52.01, 4.0, 12000, 250, 1300),
                                          point(52.02, 4.0, 9000, 250, 1600), point(52.03, 4.0, 9000, 250, 1900),
                                          point(52.04, 4.0, 9000, 250, 2200)});
             for (int i = 0; i < 4; ++i) {
                 nextPosMain(ac);
                 g_trafficTick = ac.stream.front().time;
             }
             EXPECT_EQ(events(SimEventLandingLightsSet), (std::vector<std::uint32_t>{0, 1}));
         }},
        {"the flare starts at CG + 30 ft, raises the flag, and the throttle closes at CG + 10 ft",
         [] {
             LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 60, 140, 1000), point(52.01, 4.0, 0, 140, 5000)});
             useParkAirport(52.0, 4.0, 0.0);
             ac.motion.more.landing = true;
             ac.motion.more.touchdownAhead = true;  // its next point is on the ground
             ac.heightAboveGround = 300;
             ac.pos.alt = 39;  // CG 8 ft: 31 ft above the elevation
             lf_tickMove(ac);
             EXPECT_EQ(ac.motion.more.flareStage, 0);
             ac.pos.alt = 38;
             lf_tickMove(ac);
             EXPECT_EQ(ac.motion.more.flareStage, 1);
             EXPECT_TRUE(g_flareActive.load());
             ac.heightAboveGround = 17.9;
             lf_tickMove(ac);
             lf_tickMove(ac);
             EXPECT_EQ(ac.motion.more.flareStage, 3);
             EXPECT_EQ(events(SimEventThrottleSet), std::vector<std::uint32_t>{0});
         }},
        {"the fast range-request flag follows the flaring aircraft: a go-around, a removal or one of two touchdowns",
         [] {
             auto flaring = [](std::uint32_t hex) {
                 // The front is due later: no new segment is planned on these ticks.
                 LiveAc& ac = activeAc(hex, {point(52.0, 4.0, 30, 140, 2000), point(52.01, 4.0, 0, 140, 5000)});
                 ac.motion.more.landing = true;
                 ac.motion.more.flareStage = 1;
                 ac.motion.touchdownUnderWay = true;
                 ac.heightAboveGround = 300;  // no flare step taken on these ticks
             };
             auto pass = [] {
                 for (LiveAc& ac : g_liveAc) updateLiveAc(ac);
             };
             flaring(kRulesHex);
             flaring(kRulesHex + 1);
             pass();
             EXPECT_TRUE(g_flareActive.load());
             g_liveAc[0].motion.touchdownReached = true;  // the first one's wheels are down
             g_flareActive = false;                         // as the touchdown event does
             pass();
             EXPECT_TRUE(g_flareActive.load()) << "the second one still flares";
             g_liveAc[1].motion.more.flareStage = 0;  // it goes around
             g_liveAc[1].motion.more.landing = false;
             pass();
             EXPECT_FALSE(g_flareActive.load());
             g_liveAc.clear();
             flaring(kRulesHex);
             flaring(kRulesHex + 1);
             pass();
             removeAircraftFromSim(g_liveAc[0]);
             removeAircraftFromSim(g_liveAc[1]);
             pass();
             EXPECT_FALSE(g_flareActive.load()) << "removed during the flare";
         }},
        {"a climb-out led down by its next points on the ground comes down onto the ground, never through it",
         [] {
             LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 0, 150, 1000)}, true);
             ac.motion.more.takeOffRun = ac.motion.more.simGroundKnown = true;
             ac.pos.alt = ac.cgHeight;
             lf_extendStream(ac, 10);
             nextPosMain(ac);
             for (int i = 1; i <= 20; ++i) ac.stream.push_back(point(52.0 + i * 0.0001, 4.0, 0, 10, 1300 + 300 * i));
             for (int t = 0; t < 6000; ++t) {
                 g_trafficTick = g_trafficTick.load() + 1;
                 updateLiveAc(ac);
                 ASSERT_GE(ac.pos.alt, ac.cgHeight - 1.0) << "feet, " << t << " ticks after the rotation";
                 if (t % 100 == 0) {  // the simulator's ground data each second
                     const double wheels = ac.pos.alt - ac.cgHeight;
                     gf_pushSimObjectEvent({.objectId = ac.objectId, .aux = wheels <= 0.5,
                                            .kind = SimObjectEventKind::groundData, .value2 = wheels});
                     gf_handleSimObjectEvents();
                 }
             }
         }},
        {"an update that fails removes its aircraft once; the next tick does not fail again",
         [] {
             // 12 nm at 0.001 kt: a segment beyond 32 bits of ticks.
             LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 5000, 0.001, 1000), point(52.2, 4.0, 5000, 0.001, 1300)});
             EXPECT_FALSE(updateLiveAc(ac));
             EXPECT_EQ(ac.simState, SimState::removingfromsim);
             EXPECT_NO_THROW(updateLiveAc(ac));
             EXPECT_EQ(std::count(g_respawnRemovalQueue.begin(), g_respawnRemovalQueue.end(), ac.objectId), 1);
         }},
        {"an active aircraft with an empty stream is removed without reading it",
         [] {
             LiveAc& ac = level();
             ac.stream.clear();
             updateLiveAc(ac);
             EXPECT_EQ(ac.simState, SimState::removingfromsim);
             EXPECT_TRUE(g_simQueues.positionsBack.empty());
         }},
    });
}

// An airliner's climb easing off, a report each second, as recorded; on
// at its last rate after them.
constexpr double kEasingClimb_ft[35] = {8375, 8450, 8500, 8550, 8625, 8675, 8700, 8750, 8825, 8850, 8850, 8850,
                                        8850, 8900, 9000, 9025, 9050, 9075, 9100, 9150, 9175, 9175, 9225, 9250,
                                        9300, 9325, 9350, 9375, 9400, 9425, 9475, 9475, 9500, 9525, 9550};
constexpr double kEasingRate_fpm[35] = {3648, 3648, 3648, 3584, 3648, 3392, 3456, 3648, 2880, 2624, 3264, 2112,
                                        1920, 2880, 1728, 2368, 1728, 1664, 1664, 1664, 1728, 1664, 1728, 1792,
                                        1664, 1856, 1792, 1856, 1856, 1728, 1856, 1600, 1408, 1408, 1408};

TEST_F(MotionRules, StreamChecksTable) {
    runRows({
        {"a reading 400 ft up 2 s after a report on the runway at 100 kt is no lift-off and not flown; one 60 ft up "
         "at 150 kt is",
         [] {
             for (const auto& [roll_kt, up_ft] : {std::pair{100.0, 400.0}, std::pair{150.0, 60.0}}) {
                 g_liveAc.clear();
                 LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 0, roll_kt, 1000)}, true);
                 ac.motion.more.simGroundKnown = true;
                 LiveLookup lookup;
                 for (int i = 1; i <= 4; ++i) {
                     FlightRecord r;
                     r.callsign = ac.callsign, r.type = "B738", r.hexid = kRulesHex, r.feedTime = 1000.0 + 2.0 * i;
                     r.point = point(52.0 + roll_kt * kNmLat / 1800.0 * i, 4.0, i == 4 ? up_ft : 0.0, 110, 1000 + 200 * i);
                     lf_decodeRecord(r, lookup);
                 }
                 EXPECT_EQ(ac.stream.back().airborne, up_ft < 100.0) << roll_kt << " kt";
             }
         }},
        {"a 4,000 fpm climb whose receiver puts two reports in five 500 ft low is flown along its run, judged also "
         "by the reports the stream leaves out",
         [] {
             // One report every 2 s (133 ft up); 'x' a low report; 's' a
             // report put into the stream, '.' one the stream leaves out.
             struct Case {
                 const char *lows, *kept;
             };
             for (const Case c : {Case{"..x.x..xx...x.x..xx...x.x....", "sssssssssssssssssssssssssssss"},
                                  Case{"..x...x...x...x...x...x...x......", "s.s.s.s.s.s.s.s.s.s.s.s.s.s.s.s.s"}}) {
                 g_liveAc.clear();
                 LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 5000, 250, 1000)});
                 const auto truth = [](std::int32_t due) { return 5000.0 + 133.0 * (due - 1000) / 200.0; };
                 const std::size_t n = std::string(c.lows).size();
                 for (std::size_t i = 0; i < n; ++i) {
                     const auto due = static_cast<std::int32_t>(1200 + 200 * i);
                     const StreamPoint p =
                         point(52.0 + 0.01 * static_cast<double>(i + 1), 4.0, truth(due) - (c.lows[i] == 'x' ? 500 : 0), 250, due);
                     if (c.kept[i] == 's') {
                         ac.stream.push_back(p);
                         gf_smoothStreamAltitudes(ac);
                     } else {
                         gf_noteReportAltitude(ac, p);
                     }
                 }
                 // The last reports still wait for the ones after them.
                 const std::int32_t judged = static_cast<std::int32_t>(1200 + 200 * (n - 5));
                 for (std::size_t i = 1; i < ac.stream.size() && ac.stream[i].time <= judged; ++i)
                     EXPECT_NEAR(ac.stream[i].alt, truth(ac.stream[i].time), 75.0) << c.kept << " at " << ac.stream[i].time;
             }
         }},
        {"a glider's first report in the air 700 ft high is not the height its climb-out aims at, once the three "
         "after it agree; nor a level leg's first report 780 ft low, once the two after it hold the level",
         [] {
             // On the ground at the field, then a report every 7 s climbing
             // at 600 fpm from 1,800 ft.
             LiveAc& ac = activeAc(kRulesHex, {point(44.0, 6.0, 0, 50, 1000)});
             ac.category = AcCategory::Light;
             for (int i = 0; i < 4; ++i) {
                 const double alt = 1800.0 + 70.0 * i + (i == 0 ? 700.0 : 0.0);
                 ac.stream.push_back(point(44.0 + 0.002 * (i + 1), 6.0, alt, 55, 1700 + 700 * i, 600.0));
                 gf_smoothStreamAltitudes(ac);
             }
             EXPECT_NEAR(ac.stream[1].alt, 1800.0, 100.0);
             EXPECT_EQ(ac.stream[2].alt, 1870.0);
             // In the air at 3,900 ft, a report every 8 s: the third report
             // would come after the first is flown to.
             g_liveAc.clear();
             LiveAc& level = activeAc(kRulesHex, {point(43.6, 1.2, 3900, 130, 1000)});
             level.category = AcCategory::Light;
             for (int i = 0; i < 3; ++i) {
                 level.stream.push_back(point(43.6, 1.2 + 0.005 * (i + 1), i == 0 ? 3120 : 3900, 130, 1800 + 800 * i));
                 gf_smoothStreamAltitudes(level);
             }
             EXPECT_EQ(level.stream[1].alt, 3900.0);
         }},
        {"a light twin's climb-out whose rates ease off report by report, a reading 330 ft low after a step up: the "
         "reports around, carried along their rates, rule the reading out",
         [] {
             // The inspection BE58 lifting off at Heathrow, a report every
             // 4-6 s; the one at 29200 reads 330 ft under the climb.
             LiveAc& ac = activeAc(kRulesHex, {point(51.4776, -0.4933, 0, 118, 27600)});
             ac.category = AcCategory::Light;
             for (const auto& [due, alt, rate] : {std::array{28200, 168, 1600}, {28600, 418, 1344}, {29200, 168, 1130},
                                                  {29600, 568, 917}, {30200, 643, 704}, {30600, 693, 800}}) {
                 ac.stream.push_back(point(51.48 + due * 1e-6, -0.51, alt, 115, due, rate));
                 gf_smoothStreamAltitudes(ac);
             }
             EXPECT_GT(ac.stream[3].alt, 400.0) << "flown at the low reading";
         }},
        {"a light aircraft's climb reported without rates, one report read back near the one before it, is flown on "
         "the way to the reports after it",
         [] {
             // A survey C182 climbing 600-1,000 fpm, its reports 6-18 s
             // apart; the one at 6400 reads 225 ft low, 25 ft under the one
             // before: from it the aircraft would climb 2,200 fpm to the next.
             LiveAc& ac = activeAc(kRulesHex, {point(43.6, 1.2, 1493, 108, 1000)});
             ac.category = AcCategory::Light;
             const std::pair<std::int32_t, double> reports[] = {{1800, 1493}, {2600, 1493}, {3400, 1692}, {4600, 1893},
                                                                {6400, 1868}, {7000, 2092}, {8600, 2293}};
             double east = 1.2;
             for (const auto& [due, alt] : reports) {
                 ac.stream.push_back(point(43.6, east += 0.004, alt, 108, due));
                 gf_smoothStreamAltitudes(ac);
             }
             EXPECT_NEAR(ac.stream[5].alt, 2042.0, 30.0);
             EXPECT_EQ(ac.stream[4].alt, 1893.0);
             EXPECT_EQ(ac.stream[6].alt, 2092.0);
         }},
        {"a survey aircraft's reports without rates: spikes off the path the reports on each side agree on are not "
         "flown, at a level left for a climb nor below a level, not even once it flies to one",
         [] {
             // A C182 level at 1,493 ft climbs away after 11000; 9800 reads
             // 225 ft high and 11000 675 ft low. Then level at 3,893 ft with
             // two readings 250 and 400 ft low, 8-12 s apart: the aircraft
             // flies to the first when the report after them comes.
             LiveAc& ac = activeAc(kRulesHex, {point(43.6, 1.2, 1493, 108, 1000)});
             ac.category = AcCategory::Light;
             const std::pair<std::int32_t, double> corner[] = {
                 {1800, 1493}, {2600, 1493}, {3400, 1493}, {4200, 1718}, {5400, 818}, {6200, 1692}, {7400, 1893}};
             double east = 1.2;
             for (const auto& [due, alt] : corner) {
                 ac.stream.push_back(point(43.6, east += 0.004, alt, 108, due));
                 gf_smoothStreamAltitudes(ac);
             }
             EXPECT_EQ(ac.stream[4].alt, 1493.0);
             EXPECT_NEAR(ac.stream[5].alt, 1558.0, 30.0);
             g_liveAc.clear();
             LiveAc& level = activeAc(kRulesHex, {point(43.6, 1.2, 3893, 108, 1000)});
             level.category = AcCategory::Light;
             const std::pair<std::int32_t, double> dip[] = {
                 {1800, 3893}, {2600, 3893}, {3400, 3893}, {4400, 3643}, {5200, 3493}, {6100, 3893}, {6900, 3893}};
             east = 1.2;
             for (const auto& [due, alt] : dip) {
                 if (due == 6100)
                     while (level.motion.more.frontReceivedDue != 4400) {
                         g_trafficTick = level.stream.front().time;
                         nextPosMain(level);
                     }
                 level.stream.push_back(point(43.6, east += 0.004, alt, 108, due));
                 gf_smoothStreamAltitudes(level);
             }
             EXPECT_EQ(level.stream[0].alt, 3893.0);
             EXPECT_GE(level.motion.verticalSpeed_ftPerTick, 0.0);
             EXPECT_EQ(level.stream[1].alt, 3893.0);
             // Its first report after the one it was made from, 200 ft low,
             // and the three after it level.
             g_liveAc.clear();
             LiveAc& first = activeAc(kRulesHex, {point(43.6, 1.2, 3979, 108, 1000)});
             first.category = AcCategory::Light;
             east = 1.2;
             for (const auto& [due, alt] : {std::pair{2200, 3692.0}, {3400, 3893.0}, {4200, 3893.0}, {5000, 3893.0}}) {
                 first.stream.push_back(point(43.6, east += 0.004, alt, 108, due));
                 gf_smoothStreamAltitudes(first);
             }
             EXPECT_EQ(first.stream[1].alt, 3893.0);
         }},
        {"a survey aircraft level without rates: three readings 600-750 ft low it could neither have sunk to nor "
         "climbed back from are flown level, a spike after the report after them as well; a true report between "
         "spikes that keep a level of their own, nor its climb with a spike after it, is not taken for such a run; a "
         "reading that keeps a level, or falls back off a climb, that the reports on both sides climb through is "
         "flown on their way",
         [] {
             // A C182 level at 3,893 ft, its reports 6-10 s apart; the
             // stream as each new report comes.
             const auto fly = [](std::initializer_list<std::pair<std::int32_t, double>> reports) -> LiveAc& {
                 g_liveAc.clear();
                 LiveAc& ac = activeAc(kRulesHex, {point(43.6, 1.2, reports.begin()->second, 108, 1000)});
                 ac.category = AcCategory::Light;
                 double east = 1.2;
                 for (const auto& [due, alt] : reports) {
                     ac.stream.push_back(point(43.6, east += 0.004, alt, 108, due));
                     gf_smoothStreamAltitudes(ac);
                 }
                 return ac;
             };
             const LiveAc& level = fly({{1800, 3893}, {2600, 3893}, {3400, 3893}, {4200, 3893}, {5000, 3893},
                                        {5600, 3143}, {6400, 3168}, {7000, 3293}, {8000, 3893}, {8800, 3418}});
             for (std::size_t i = 6; i <= 8; ++i) EXPECT_NEAR(level.stream[i].alt, 3893.0, 30.0) << i;
             EXPECT_EQ(level.stream[9].alt, 3893.0);
             // Spikes 600 ft low that keep a level of their own around a
             // true report, reports 8-18 s apart.
             const LiveAc& spikes = fly({{1200, 3893}, {2000, 3893}, {3000, 3893}, {3800, 3893}, {4800, 3893},
                                         {6000, 3893}, {7200, 3893}, {8400, 3268}, {9600, 3292}, {11400, 3893},
                                         {12600, 3317}});
             EXPECT_EQ(spikes.stream[10].alt, 3893.0);
             // Climbing 700 fpm from a level at 2,880 ft, a reading 330 ft
             // low after the climb's reports.
             const LiveAc& climb = fly({{1800, 2693}, {2400, 2853}, {3400, 2893}, {4200, 2993}, {4800, 3081},
                                        {5800, 3193}, {6400, 2867}});
             EXPECT_EQ(climb.stream[5].alt, 3081.0);
             EXPECT_EQ(climb.stream[6].alt, 3193.0);
             // 275 ft low 12 s between level ones; the newest, 425 ft low, does not yet undo that.
             EXPECT_EQ(fly({{1800, 3893}, {2800, 3893}, {4000, 3618}, {5200, 3893}, {6000, 3468}}).stream[3].alt,
                       3893.0);
             // The 4th report: a reading keeping a level 400 ft below the report 12 s on (not past a reading
             // 600 ft up); one falling back off a climb (not one on it), before and once the climb goes on.
             EXPECT_NEAR(fly({{1200, 1500}, {2000, 1500}, {2800, 1500}, {3600, 1499}, {4800, 1900}, {6600, 2100},
                              {7200, 2099}}).stream[4].alt, 1660.0, 10.0);
             EXPECT_EQ(fly({{1200, 3893}, {2000, 3893}, {2800, 3893}, {3600, 3892}, {4400, 4518}, {5000, 3343},
                            {6400, 3142}}).stream[4].alt, 3892.0);
             EXPECT_NEAR(fly({{1200, 1300}, {2000, 1500}, {2800, 1699}, {4000, 1475}, {5800, 2800},
                              {6400, 2099}}).stream[4].alt, 1832.0, 10.0);
             EXPECT_NEAR(fly({{1200, 1300}, {2000, 1500}, {2800, 1699}, {4000, 1475}, {5800, 2800}, {6400, 2099},
                              {8000, 2300}}).stream[4].alt, 1832.0, 10.0);
             EXPECT_EQ(fly({{1200, 2393}, {1800, 2493}, {2400, 2592}, {3400, 2693}, {4000, 3078}, {5000, 3093},
                            {5800, 2993}, {6400, 3081}}).stream[4].alt, 2693.0);
         }},
        {"a report the feed hands on over several polls counts once: its spikes are not flown, nor its repeats, "
         "nor three spiked among five",
         [] {
             for (const char* const lows : {"..x...x.x..x....x.x.......", "......x.xx........"}) {
                 // Level at 4,000 ft at 150 kt, a report every 6 s, each polled
                 // three times 2 s apart; 'x' a report 700 ft low.
                 g_liveAc.clear();
                 LiveAc& ac = activeAc(kRulesHex, {point(44.0, 1.0, 4000, 150, 1000)});
                 ac.category = AcCategory::Light;
                 const std::size_t n = std::string(lows).size();
                 for (std::size_t i = 0; i < n; ++i) {
                     for (int poll = 0; poll < 3; ++poll) {
                         FlightRecord r;
                         const double north_nm = 150.0 * (6.0 * static_cast<double>(i) + 2.0 * poll) / 3600.0;
                         r.point = point(44.0 + north_nm * kNmLat, 1.0, lows[i] == 'x' ? 3300 : 4000, 150,
                                         static_cast<std::int32_t>(1600 + 600 * i + 200 * poll));
                         r.feedTime = 100.0 + 6.0 * static_cast<double>(i);
                         if (!gf_reportPossible(ac, r)) continue;
                         ac.stream.push_back(r.point);
                         gf_smoothStreamAltitudes(ac);
                     }
                 }
                 const std::int32_t judged = static_cast<std::int32_t>(1600 + 600 * (n - 3));
                 for (std::size_t i = 1; i < ac.stream.size() && ac.stream[i].time < judged; ++i)
                     EXPECT_NEAR(ac.stream[i].alt, 4000.0, 75.0) << lows << " at " << ac.stream[i].time;
             }
         }},
        {"a glider reporting 14 s and 6 s apart by turns: a report 200 ft up, 6 s before the next, is not flown",
         [] {
             // Level at 3,000 ft; up and down again 2,000 ft/min is no
             // glider's, however far the report before lies.
             g_liveAc.clear();
             LiveAc& ac = activeAc(kRulesHex, {point(44.0, 6.0, 3000, 65, 1000)});
             ac.category = AcCategory::Light;
             std::int32_t due = 1000;
             for (int i = 1; i <= 9; ++i) {
                 due += i % 2 ? 1400 : 600;
                 ac.stream.push_back(point(44.0 + 0.01 * i, 6.0, i == 5 ? 3200 : 3000, 65, due));
                 gf_smoothStreamAltitudes(ac);
             }
             for (std::size_t i = 1; i < ac.stream.size(); ++i)
                 EXPECT_NEAR(ac.stream[i].alt, 3000.0, 75.0) << "at " << ac.stream[i].time;
         }},
        {"a light twin's reports 5 s apart 450-700 ft off its descent, alone or two in a row, that it could neither "
         "get onto nor back from are flown on the way between the true reports around them",
         [] {
             // Flight inspection at Heathrow as a receiver that mixes sources
             // delivered it, after the first point: heights, rates, and
             // where the aircraft was.
             const std::vector<double> alt{2826, 2134, 2118, 2580, 2068, 2443, 2368, 2293, 2218, 2137},
                 rate{-938, -981, -1024, -928, -832, -810, -789, -768, -816, -864},
                 truth{2826, 2741, 2650, 2587, 2525, 2450, 2375, 2300, 2218, 2137};
             LiveAc& ac = activeAc(kRulesHex, {point(51.47, -0.9, 2926, 160, 1000, -960)});
             ac.category = AcCategory::Light;
             for (std::size_t i = 0; i < alt.size(); ++i) {
                 ac.stream.push_back(point(51.47, -0.9 + 0.006 * static_cast<double>(i + 1), alt[i], 160,
                                           static_cast<std::int32_t>(1500 + 500 * i), rate[i]));
                 gf_smoothStreamAltitudes(ac);
             }
             // The last two still wait for the reports after them.
             for (std::size_t i = 1; i + 2 < ac.stream.size(); ++i)
                 EXPECT_NEAR(ac.stream[i].alt, truth[i - 1], 50.0) << "at " << i;
         }},
        {"five spiked reports in a row a second apart are not flown; a level-off and a low pass are, as reported; "
         "a helicopter flies no spike it cannot climb or sink to, not even as its newest report, and its own climb "
         "and descent as reported",
         [] {
             // Reporting every second; report i is reported at truth(i)
             // less the spike. A helicopter's newest report is judged too.
             struct Case {
                 const char* name;
                 double (*truth)(int);
                 int spikeFrom, spikeTo;
                 double spike_ft = 650.0;
                 AcCategory category = AcCategory::Large;
             };
             const AcCategory H = AcCategory::Rotorcraft;
             for (const Case c : {Case{"level", [](int) { return 11000.0; }, 20, 24},
                                  Case{"level-off", [](int i) { return 8000.0 + 50.0 * std::min(i, 20); }, 0, -1},
                                  Case{"low pass", [](int i) { return 600.0 + 25.0 * std::abs(i - 20); }, 0, -1},
                                  // Eight spiked reports outnumber the good ones within a few seconds.
                                  Case{"helicopter cruise", [](int) { return 2800.0; }, 20, 27, -450.0, H},
                                  Case{"helicopter to the ground", [](int i) { return 1500.0 - 8.0 * i; }, 30, 34, 700.0, H},
                                  Case{"helicopter climb", [](int i) { return 1500.0 + 30.0 * i; }, 0, -1, 0.0, H},
                                  Case{"helicopter descent", [](int i) { return 3000.0 - 35.0 * i; }, 0, -1, 0.0, H}}) {
                 g_liveAc.clear();
                 LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, c.truth(0), 250, 1000)});
                 ac.category = c.category;
                 for (int i = 1; i <= 40; ++i) {
                     const double spike = i >= c.spikeFrom && i <= c.spikeTo ? c.spike_ft : 0.0;
                     ac.stream.push_back(point(52.0 + 0.001 * i, 4.0, c.truth(i) - spike, 250, 1000 + 100 * i));
                     gf_smoothStreamAltitudes(ac);
                     if (c.category == H) {
                         EXPECT_NEAR(ac.stream.back().alt, c.truth(i), 100.0) << c.name << " newest " << i;
                     }
                 }
                 for (std::size_t i = 1; i < ac.stream.size() && ac.stream[i].time <= 1000 + 100 * 34; ++i)
                     EXPECT_NEAR(ac.stream[i].alt, c.truth(static_cast<int>(i)), 75.0) << c.name << " at " << i;
             }
         }},
        {"a 3,500 fpm climb whose transponder holds a reading 700 ft up for 12 s is flown along its rates, one "
         "350 ft up for 6 s seen every 2 s too, one reached by a step faster than any climb too, whole reports of a "
         "later moment held in place and height too; a 200 ft step held and a level-off the rates catch up with "
         "late are flown as reported; runs of spikes that outnumber the reports between them are flown along the "
         "rates, a spiked first report in the air too, a run stepped onto and back from faster than any climb too; a report below the reports on both sides of it in a climb "
         "that eases off is flown between them, one read back below the report before it and behind a steep "
         "climb's rates on both sides of it on them; reports that come by turns from two receivers, one reading "
         "100-200 ft lower, are flown at the family most of them belong to",
         [] {
             // An airliner reporting every second with its vertical rate;
             // report i is reported at held(i) where given, else truth(i),
             // less 100 ft for each unit of the digit at spikes[i]; none where it is '-'.
             struct Case {
                 const char* name;
                 double (*truth)(int);
                 double (*rate)(int);
                 int heldFrom, heldTo;
                 double near_ft;  // the last held reports come back within a step of the line
                 const char* spikes;
                 int judgedFrom = 1;
                 double held_ft = 700.0;
                 int heldAhead = 0;  // held reports placed and reported this many reports later
             };
             // Reports every 2 s (as the feed's polls see a 1 s receiver).
             const char* const kEveryOtherSecond = ".-.-.-.-.-.-.-.-.-.-.-.-.-.-.-.-.-.-.-.-.-.-.-";
             for (const Case& c : {Case{"held step", [](int i) { return 6000.0 + 3500.0 / 60.0 * i; },
                                       [](int) { return 3500.0; }, 20, 31, 250.0, ""},
                                  Case{"late rates", [](int i) { return 6000.0 + 3500.0 / 60.0 * std::min(i, 20); },
                                       [](int i) { return i < 24 ? 3500.0 : 0.0; }, 0, -1, 75.0, ""},
                                  Case{"spikes level", [](int) { return 11000.0; }, [](int i) { return i < 15 ? 64.0 : -64.0; },
                                       0, -1, 75.0, "............2.3...666.7..8888.7"},
                                  Case{"spikes climbing", [](int i) { return 6000.0 + 3000.0 / 60.0 * i; },
                                       [](int) { return 3000.0; }, 0, -1, 75.0, "...........6.66666.7..3.888..5"},
                                  // The run's first report 500 ft low: the reports after it are not
                                  // judged on its line.
                                  Case{"first spiked", [](int i) { return 3000.0 - 1000.0 / 60.0 * i; },
                                       [](int) { return -1000.0; }, 0, -1, 75.0, ".5"},
                                  // Two reports 700 ft low, then three 250 ft low seen every 2 s: within
                                  // the rate line's slack, and on the run the low ones bend, but stepped
                                  // onto and back from faster than any airliner climbs or sinks.
                                  Case{"out and back", [](int i) { return 6000.0 + 3000.0 / 60.0 * i; },
                                       [](int) { return 3000.0; }, 22, 26, 75.0, ".-.-.-.-.-.-.-.-7-7-.-.-.-.-.-.-.-", 1,
                                       -250.0},
                                  // Off its rates for longer than a run of spikes lasts: the aircraft is there.
                                  Case{"lasting step", [](int i) { return i < 15 ? 11000.0 : 11400.0; },
                                       [](int) { return 64.0; }, 0, -1, 75.0, "", 30},
                                  // A climb easing off from 3,500 to 1,900 fpm (as recorded over
                                  // Zurich) with a report 100 ft below the reports on both sides of
                                  // it: the run of the reports bends too much to tell it.
                                  Case{"climb easing off",
                                       [](int i) {
                                           return kEasingClimb_ft[std::min(i, 34)] + 1408.0 / 60.0 * std::max(i - 34, 0);
                                       },
                                       [](int i) { return kEasingRate_fpm[std::min(i, 34)]; }, 0, -1, 75.0,
                                       "..........1"},
                                  // A climb faster than its rates say, across a silence of 20 s.
                                  Case{"silence", [](int i) { return 6000.0 + 4000.0 / 60.0 * i; },
                                       [](int) { return 3000.0; }, 0, -1, 75.0, "..........--------------------"},
                                  // Held 350 ft up for 6 s, each held report within the rate line's reach.
                                  Case{"held near step", [](int i) { return 13000.0 + 3200.0 / 60.0 * i; },
                                       [](int) { return 3200.0; }, 20, 26, 75.0, kEveryOtherSecond, 1, 350.0},
                                  // A 200 ft step the reports make and hold: flown as reported.
                                  Case{"held small step", [](int i) { return 8000.0 - 1500.0 / 60.0 * (i < 20 || i > 27 ? i : 28); },
                                       [](int) { return -1500.0; }, 0, -1, 75.0, kEveryOtherSecond},
                                  // A reading held 190 ft ahead of a 3,000 fpm climb seen every 2 s,
                                  // its step within the rate line's allowance but faster than any
                                  // climb (as recorded on an arrival climbing through 17,000 ft);
                                  // the same below a 1,800 fpm descent, and seen every second.
                                  Case{"held step ahead of a climb", [](int i) { return 16000.0 + 3000.0 / 60.0 * i; },
                                       [](int) { return 3000.0; }, 20, 26, 75.0, kEveryOtherSecond, 1, 190.0},
                                  Case{"held step ahead of a descent", [](int i) { return 12000.0 - 1800.0 / 60.0 * i; },
                                       [](int) { return -1800.0; }, 20, 26, 75.0, kEveryOtherSecond, 1, -220.0},
                                  Case{"held step each second", [](int i) { return 16000.0 + 3000.0 / 60.0 * i; },
                                       [](int) { return 3000.0; }, 20, 23, 75.0, "", 1, 170.0},
                                  // Whole reports of a moment 3 s later, place and height: flown where
                                  // the reports around them put them at their time.
                                  Case{"held later report", [](int i) { return 10000.0 + 3800.0 / 60.0 * i; },
                                       [](int) { return 3800.0; }, 20, 22, 75.0, kEveryOtherSecond, 1, 0.0, 3},
                                  // A 4,000 fpm climb seen every 2 s whose receiver mixes in now and
                                  // then a reading of some seconds before (as over Zurich): within the
                                  // scatter of the report before it, it is its own median, but back
                                  // below that one and behind the rates on both sides of it.
                                  Case{"reading behind a climb", [](int i) { return 11000.0 + 4000.0 / 60.0 * i; },
                                       [](int) { return 4000.0; }, 0, -1, 75.0, ".-.-.-.-.-.-2-.-.-.-.-.-2-.-.-.-"},
                                  // Level, seen every 2 s (as out of Amsterdam): a reading 300 ft low,
                                  // then a run of them 200 ft low.
                                  Case{"spikes 200 ft low on a level", [](int) { return 11000.0; },
                                       [](int i) { return i < 15 ? 128.0 : -64.0; }, 0, -1, 75.0,
                                       ".-.-.-.-3-.-2-2-2-.-.-.-.-.-.-.-"},
                                  // A 2,000 fpm climb seen every 2 s (as out of Amsterdam): a run of
                                  // readings 600 ft and 300 ft low, a true report, then two more spikes.
                                  Case{"true report between runs of spikes", [](int i) { return 5000.0 + 2000.0 / 60.0 * i; },
                                       [](int) { return 2000.0; }, 0, -1, 75.0, ".-.-.-.-.-.-6-3-3-3-.-7-2-.-.-.-.-.-"},
                                  // Two sources, seen every 2 s as over Zurich: the low one's readings,
                                  // now and then two in a row, are fewer than the other's around each.
                                  Case{"two sources", [](int i) { return 3300.0 + 2700.0 / 60.0 * i; },
                                       [](int) { return 2700.0; }, 0, -1, 75.0,
                                       ".-.-.-.-.-2-1-.-.-2-.-.-.-.-.-2-1-.-.-2-.-.-."}}) {
                 g_liveAc.clear();
                 LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, c.truth(0), 250, 1000, c.rate(0))});
                 const std::string spikes = c.spikes;
                 for (int i = 1; i <= 45; ++i) {
                     const bool held = i >= c.heldFrom && i <= c.heldTo;
                     const auto at = static_cast<std::size_t>(i);
                     if (at < spikes.size() && spikes[at] == '-') continue;
                     const double spike = at < spikes.size() && spikes[at] != '.' ? 100.0 * (spikes[at] - '0') : 0.0;
                     const int later = c.heldFrom + c.heldAhead;
                     const double alt = (held ? c.truth(later) + c.held_ft : c.truth(i)) - spike;
                     const int place = held && c.heldAhead > 0 ? later : i;
                     ac.stream.push_back(point(52.0 + 0.001 * place, 4.0, alt, 250, 1000 + 100 * i, c.rate(i)));
                     gf_smoothStreamAltitudes(ac);
                 }
                 for (std::size_t i = 1; i < ac.stream.size() && ac.stream[i].time <= 1000 + 100 * 40; ++i) {
                     const int at = (ac.stream[i].time - 1000) / 100;
                     if (at < c.judgedFrom) continue;
                     EXPECT_NEAR(ac.stream[i].alt, c.truth(at), c.near_ft) << c.name << " at " << at;
                     EXPECT_NEAR(ac.stream[i].lat, 52.0 + 0.001 * at, 0.0015) << c.name << " place at " << at;  // 170 m
                 }
             }
         }},
        {"an approach whose receiver cuts reports 500-700 ft low to the ground stays in the air; a "
         "touch-and-go's ground and a landing's stay",
         [] {
             // A B738 sinking 800 fpm at 140 kt, a report every 2 s through
             // the intake; 'g' a report of the ground, 'c' one climbing away
             // from it at 1,500 fpm, 's' one 400 ft up.
             struct Case {
                 const char* name;
                 double from_ft;
                 const char* reports;
                 bool groundKept;
             };
             for (const Case c : {Case{"spikes", 900.0, "........gg...g.g.......", false},
                                  Case{"touch-and-go", 540.0, "...................gggcccc", true},
                                  Case{"landing, then a spike up", 540.0, "...................gggsgg", true}}) {
                 g_liveAc.clear();
                 LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, c.from_ft, 140, 1000, -800)});
                 ac.motion.more.simGroundKnown = true;
                 ac.motion.more.simGround_ft = -11.0;
                 LiveLookup lookup;
                 double alt = c.from_ft;
                 for (std::size_t i = 1; c.reports[i - 1] != '\0'; ++i) {
                     const char k = c.reports[i - 1];
                     alt = k == 'c' ? std::max(alt, 0.0) + 50.0 : alt - 800.0 / 30.0;
                     FlightRecord r;
                     r.hexid = kRulesHex;
                     r.callsign = ac.callsign;
                     r.type = "B738";
                     r.feedTime = 1000.0 + 2.0 * static_cast<double>(i);
                     r.point = point(52.0 + 140.0 * kNmLat / 3600.0 * 2.0 * static_cast<double>(i), 4.0,
                                     k == 'g' ? 0.0 : k == 's' ? 400.0 : alt, 140,
                                     static_cast<std::int32_t>(1000 + 200 * i), k == 'g' ? 0.0 : k == 'c' ? 1500.0 : -800.0);
                     lf_decodeRecord(r, lookup);
                 }
                 EXPECT_EQ(std::any_of(ac.stream.begin(), ac.stream.end(), [](const StreamPoint& p) { return !p.airborne; }),
                           c.groundKept)
                     << c.name;
             }
         }},
        {"the 201st waiting point removes the aircraft",
         [] {
             LiveAc& ac = level();
             while (ac.stream.size() <= 200) ac.stream.push_back(ac.stream.back());
             decodeExisting(ac, point(52.5, 4.0, 5000, 250, 99999));
             EXPECT_EQ(ac.simState, SimState::removingfromsim);
         }},
        {"a holding aircraft whose next point lies 300 m away is removed",
         [] {
             LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 0, 0, 1000)}, true);
             ac.jumpChecked = 1;
             decodeExisting(ac, point(52.0 + 300.0 / 111132.95, 4.0, 0, 5, 1200));
             EXPECT_EQ(ac.simState, SimState::removingfromsim);
         }},
        {"a silent taxiing aircraft holds for MAX_HOLDING_MINUTES whole minutes",
         [] {
             LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 0, 10, 1000)}, true);
             EXPECT_TRUE(lf_extendOrEnd(ac));
             EXPECT_EQ(ac.stream.back().time, 1300);
             EXPECT_TRUE(ac.stream.back().stationary);
             g_trafficTick = 1000 + 21 * 6000 - 1;
             EXPECT_TRUE(lf_extendOrEnd(ac)) << "20 whole minutes";
             g_trafficTick = 1000 + 21 * 6000;
             EXPECT_FALSE(lf_extendOrEnd(ac));
         }},
        {"one closer than 1.2 times both sizes to another taxiing aircraft ends at once",
         [] {
             activeAc(kRulesHex + 1, {point(52.0, 4.0001, 0, 10, 1000)}, true);
             LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 0, 10, 1000)}, true);
             EXPECT_FALSE(lf_extendOrEnd(ac));
         }},
        {"an airborne stream flies on 8 steps of 8 s at 95 % each, then ends",
         [] {
             LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 5000, 200, 1000)});
             double gs = 200;
             for (int step = 0; step < 8; ++step) {
                 ASSERT_TRUE(lf_extendOrEnd(ac));
                 gs = std::max(gs * 0.95, 1.0);
                 EXPECT_NEAR(ac.stream.back().gs, gs, 1e-9);
                 EXPECT_EQ(ac.stream.back().time - ac.stream.front().time, 800);
                 ac.stream.pop_front();
             }
             EXPECT_FALSE(lf_extendOrEnd(ac));
             EXPECT_EQ(ac.extensionCount, -1);
         }},
        {"a silent steady climb climbs on at its slowest reported rate, no faster than its kind; a light "
         "aircraft's steady descent sinks on so, down to 1000 ft above the ground; a swinging rate, repeated "
         "heights or an airliner's descent stay level",
         [] {
             struct Climb {
                 AcCategory category;
                 double rates[3], alts[3], carried_fpm;
             };
             for (const Climb& c : {Climb{AcCategory::Large, {1800, 1500, 1700}, {5000, 5140, 5280}, 1500},
                                    Climb{AcCategory::Light, {300, 800, 500}, {5000, 5040, 5080}, 0},
                                    Climb{AcCategory::Large, {1500, 1500, 1500}, {5000, 5120, 5120}, 0},
                                    Climb{AcCategory::Light, {3600, 3300, 3500}, {5000, 5280, 5560}, 3000},
                                    Climb{AcCategory::Light, {-1800, -1500, -1700}, {5280, 5140, 5000}, -1500},
                                    Climb{AcCategory::Large, {-1800, -1500, -1700}, {5280, 5140, 5000}, 0},
                                    Climb{AcCategory::Light, {-900, -800, -850}, {1300, 1200, 1100}, -750},
                                    Climb{AcCategory::Light, {-300, -800, -500}, {5080, 5040, 5000}, 0}}) {
                 g_liveAc.clear();
                 LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 4900, 150, 1000, c.rates[0])});
                 ac.category = c.category;
                 ac.motion.more.simGroundKnown = true;
                 ac.cgHeight = 0.0;
                 for (int i = 0; i < 3; ++i) {
                     ac.stream.push_back(point(52.0 + 0.003 * (i + 1), 4.0, c.alts[i], 150, 1500 + 500 * i, c.rates[i]));
                     gf_smoothStreamAltitudes(ac);
                 }
                 while (ac.stream.size() > 1) ac.stream.pop_front();
                 ASSERT_TRUE(lf_extendOrEnd(ac));
                 EXPECT_NEAR(ac.stream.back().alt - c.alts[2], c.carried_fpm / 60.0 * 8.0, 1e-6) << c.rates[1];
             }
         }},
        {"through 24 s without reports an airliner leaves at the rate before the silence and arrives at the rate "
         "after it; rates that do not bracket the change, or a light aircraft's, fly the straight line",
         [] {
             // 150 ft up over the silence: 375 fpm on the straight line.
             struct Silence {
                 AcCategory category;
                 double before_fpm, after_fpm;
                 double lowest, highest;  // the first piece's rate, in straight lines
             };
             for (const Silence& c : {Silence{AcCategory::Large, -64, 1472, 0.0, 0.3},
                                      Silence{AcCategory::Large, 1472, 0, 1.5, 3.0},
                                      Silence{AcCategory::Large, 412, 1125, 0.95, 1.05},
                                      Silence{AcCategory::Light, -64, 1472, 0.95, 1.05}}) {
                 g_liveAc.clear();
                 LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 6000, 250, 1000, c.before_fpm)});
                 ac.category = c.category;
                 ac.stream.push_back(point(52.0 + 250 * kNmLat / 3600 * 24, 4.0, 6150, 250, 3400, c.after_fpm));
                 ac.stream.push_back(point(52.0 + 250 * kNmLat / 3600 * 25, 4.0, 6150, 250, 3500, c.after_fpm));
                 g_trafficTick = 1000;
                 nextPosMain(ac);
                 const double lines = ac.motion.verticalSpeed_ftPerTick * 6000.0 / 375.0;
                 EXPECT_GE(lines, c.lowest) << c.before_fpm << " to " << c.after_fpm;
                 EXPECT_LE(lines, c.highest) << c.before_fpm << " to " << c.after_fpm;
             }
         }},
        {"a silent landing sinks on at 667 fpm; a silent landing helicopter holds its height over the pad",
         [] {
             struct Sink {
                 AcCategory category;
                 double alt_ft, vrate_fpm;
             };
             for (const Sink& c : {Sink{AcCategory::Large, 1500 - 10.005 * 8, -667},
                                   Sink{AcCategory::Light, 1500 - 10.005 * 8, -667},
                                   Sink{AcCategory::Rotorcraft, 1500, 0}}) {
                 g_liveAc.clear();
                 LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 1500, 15, 1000, -256)});
                 ac.category = c.category;
                 ac.motion.more.landing = true;
                 lf_extendStream(ac, 8);
                 EXPECT_NEAR(ac.stream.back().alt, c.alt_ft, 1e-9) << static_cast<int>(c.category);
                 EXPECT_EQ(ac.stream.back().vrate, c.vrate_fpm) << static_cast<int>(c.category);
             }
         }},
        {"a report that ends a silence on an approach keeps its speed, and the points made up meanwhile take it; "
         "a faster report after a report is held to that one's speed",
         [] {
             LiveAc& ac = activeAc(kRulesHex, {point(43.6, 1.36, 1500, 160, 1000, -900)});
             ac.category = AcCategory::Light;
             ac.motion.more.landing = true;
             ac.pos.heading = 0.0;
             // Five steps flown on northward: 160 kt slowed to 94.
             for (int k = 8; k >= 4; --k) {
                 lf_extendStream(ac, k);
                 ac.stream.pop_front();
             }
             ASSERT_LT(ac.stream.front().gs, 100.0);
             decodeExisting(ac, point(43.6 + 2.0 * kNmLat, 1.36, 1000, 159, 9000, 1344));
             ASSERT_EQ(ac.stream.size(), 2u);
             EXPECT_EQ(ac.stream.front().gs, 159.0);
             EXPECT_EQ(ac.stream.back().gs, 159.0);
             decodeExisting(ac, point(43.6 + 2.1 * kNmLat, 1.36, 1100, 170, 9500, 1344));
             EXPECT_EQ(ac.stream.back().gs, 159.0);
         }},
        {"a silent take-off run speeds up by the table, a silent landing roll slows down by its table",
         [] {
             struct Step {
                 double gs, takeOff, takeOffVrate, roll;
             };
             for (const Step& c : {Step{20, 40, 0, 20}, Step{50, 80, 0, 20}, Step{70, 110, 0, 30}, Step{90, 110, 0, 60},
                                   Step{120, 150, 600, 80}, Step{150, 170, 1200, 100}, Step{165, 180, 2400, 100}}) {
                 g_liveAc.clear();
                 LiveAc& run = activeAc(kRulesHex, {point(52.0, 4.0, 0, c.gs, 1000)}, true);
                 run.motion.more.takeOffRun = true;
                 lf_extendStream(run, 10);
                 EXPECT_EQ(run.stream.back().gs, c.takeOff) << c.gs;
                 EXPECT_EQ(run.stream.back().vrate, c.takeOffVrate) << c.gs;
                 EXPECT_EQ(run.stream.back().time, 1300);
                 g_liveAc.clear();
                 LiveAc& roll = activeAc(kRulesHex, {point(52.0, 4.0, 0, c.gs, 1000)}, true);
                 roll.motion.landingRoll = true;
                 lf_extendStream(roll, 10);
                 EXPECT_EQ(roll.stream.back().gs, c.roll) << c.gs;
                 EXPECT_GT(roll.stream.back().lat, 52.0) << "moved on along its heading";
             }
         }},
        {"a parked aircraft waits a week and points within 85 m do not move it",
         [] {
             loadEham();
             const Stand& d7 = *gf_findStandByName("D7");
             LiveAc& ac = activeAc(kRulesHex, {point(d7.latitude, d7.longitude, 0, 0, 1000)}, true);
             ac.flightState = FlightState::parked;
             ac.standId = d7.number;
             ac.standLat = d7.latitude;
             ac.standLon = d7.longitude;
             ASSERT_TRUE(lf_extendOrEnd(ac));
             EXPECT_EQ(ac.stream.back().time, 1000 + 60480000);
             for (double m : {10.0, 14.0, 9.0, 15.0, 12.0, 13.0})
                 decodeExisting(ac, point(d7.latitude + m / 111132.95, d7.longitude, 0, 0, 2000));
             EXPECT_EQ(ac.stream.size(), 2u);
             EXPECT_EQ(ac.flightState, FlightState::parked);
             EXPECT_EQ(ac.stillReported, 1);
         }},
        {"an airborne report arms a taxiing aircraft's take-off run only when the reports show one",
         [] {
             // A report 5 s after one on the ground at 17 kt, the field at 0 ft.
             struct Case { AcCategory category; bool running, lastAirborne; double alt, gs, north; bool armed; };
             const AcCategory L = AcCategory::Large, H = AcCategory::Rotorcraft;
             for (const Case c : {Case{L, false, false, 616, 17, 4e-4, false},
                                  Case{L, false, false, 616, 150, 4e-4, true},
                                  Case{L, false, true, 616, 17, 4e-4, true}, Case{L, false, false, 150, 0, 4e-4, true},
                                  Case{L, false, false, 2000, 0, 4e-4, false},
                                  Case{H, false, false, 100, 5, 4e-4, true},
                                  Case{H, false, false, 3000, 5, 4e-4, false},
                                  // Armed: taxi speed or a stop disarm, speed or a report without one do not.
                                  Case{L, true, true, 0, 18, 4e-4, false}, Case{L, true, true, 0, 0, 0, false},
                                  Case{L, true, true, 0, 60, 4e-4, true}, Case{L, true, true, 0, 0, 4e-4, true}}) {
                 g_liveAc.clear();
                 LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 0, 17, 1000)}, true);
                 ac.category = c.category;
                 ac.stream.back().airborne = c.lastAirborne;
                 ac.motion.more.takeOffRun = c.running;
                 decodeExisting(ac, point(52.0 + c.north, 4.0, c.alt, c.gs, 1500));
                 EXPECT_EQ(ac.motion.more.takeOffRun, c.armed) << c.alt << " ft " << c.gs << " kt " << c.running;
             }
         }},
        {"a point 150 degrees behind an aircraft in its landing roll restarts its stream",
         [] {
             LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 0, 60, 1000)}, true);
             ac.pos.heading = 0.0;
             ac.pos.lat = 52.001;
             ac.motion.landingRoll = true;
             decodeExisting(ac, point(51.99, 4.0, 0, 30, 1500));
             ASSERT_EQ(ac.stream.size(), 2u);
             EXPECT_DOUBLE_EQ(ac.stream.front().lat, 52.001);
             EXPECT_EQ(ac.stream.front().time, 1001);
         }},
        {"a report near the last one while fast in the air: stale for an airliner within half a turn only",
         [] {
             // 0.02 nm on after 6 s at 76 kt (it flew 0.13 nm): a glider
             // circling in a thermal, or a receiver that lost an airliner.
             const auto report = [](double t_s, double north_nm) {
                 FlightRecord r;
                 r.point = point(44.3 + north_nm * kNmLat, 5.9, 6700, 76, 0);
                 r.feedTime = t_s;
                 return r;
             };
             struct Case {
                 AcCategory category;
                 double dt_s;
                 bool flown;
             };
             for (const Case c : {Case{AcCategory::Light, 6, true}, Case{AcCategory::Rotorcraft, 6, true},
                                  Case{AcCategory::Large, 6, false}, Case{AcCategory::Large, 40, true}}) {
                 g_liveAc.clear();
                 LiveAc& ac = level();
                 ac.category = c.category;
                 ASSERT_TRUE(gf_reportPossible(ac, report(100.0, 0.0)));
                 EXPECT_EQ(gf_reportPossible(ac, report(100.0 + c.dt_s, 0.02)), c.flown)
                     << static_cast<int>(c.category) << " after " << c.dt_s << " s";
                 EXPECT_FALSE(gf_reportPossible(ac, report(200.0 + c.dt_s, c.flown ? 0.02 : 0.0)))
                     << "the very same place again is stale for every aircraft";
             }
         }},
        {"an airliner's place of 12 s before, sent with fresh times after a place half-updated 2 s ahead, lies "
         "behind the report before that too: it rules the place ahead out of nothing and is refused",
         [] {
             // Eastbound at 300 kt, a report every 2 s; the third one's
             // place 2 s ahead, the fourth and fifth both the place of 12 s
             // before the fifth (a receiver's old report, coasted on).
             const auto report = [](double t_s, double placeAt_s) {
                 FlightRecord r;
                 r.point = point(52.0, 4.0 + 300.0 / 3600.0 * placeAt_s * kNmLat / std::cos(52.0 * kDegToRad), 6000,
                                 300, 0);
                 r.point.track = 90.0;
                 r.feedTime = 100.0 + t_s;
                 return r;
             };
             g_liveAc.clear();
             LiveAc& ac = level();
             for (const double t : {0.0, 2.0}) ASSERT_TRUE(gf_reportPossible(ac, report(t, t)));
             ASSERT_TRUE(gf_reportPossible(ac, report(4.0, 6.0)));
             EXPECT_FALSE(gf_reportPossible(ac, report(6.0, -4.0)));
             EXPECT_FALSE(gf_reportPossible(ac, report(8.0, -4.0)));
             EXPECT_TRUE(gf_reportPossible(ac, report(10.0, 10.0)));
         }},
        {"a place sent a report early and repeated by the next is flown at the next one's height and time; a "
         "receiver repeating its last place keeps the first, also where it holds one over its reports and the next "
         "place follows, and where the stream takes a report at the place of the one before it left out; a "
         "helicopter's place sent 7 s ahead and repeated by the next report is one point, at the next one's height "
         "and time, no hover there, as is a light aircraft's whose reports the feed hands on twice or come 5 s apart "
         "(unless the repeat's height is a spike)",
         [] {
             // A B738 climbing 3,200 fpm at 233 kt, a report every 2 s
             // through the intake (every other one thinned out of the
             // stream); report i comes with the place of moment at[i - 1]
             // (its own where 0). The point at the place of placeOf has
             // report own's time and height.
             struct Case {
                 std::vector<double> at;
                 double placeOf;
                 int own;
             };
             for (const Case& c : {Case{{0, 0, 0, 0, 6}, 6, 6}, Case{{0, 0, 0, 0, 0, 5}, 5, 5},
                                   Case{{0, 0, 0, 0, 4.2, 4.2, 4.2, 7.9, 7.9}, 7.9, 8},
                                   Case{{0, 0, 0, 0, 0, 0, 6}, 6, 6}}) {
                 g_liveAc.clear();
                 LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 3000, 233, 1000, 3200)});
                 LiveLookup lookup;
                 const auto north = [](double at) { return 52.0 + 233.0 * kNmLat / 3600.0 * 2.0 * at; };
                 const auto alt = [](int i) { return 3000.0 + 3200.0 / 30.0 * i; };
                 for (int i = 1; i <= 12; ++i) {
                     const auto k = static_cast<std::size_t>(i - 1);
                     FlightRecord r;
                     r.hexid = kRulesHex;
                     r.callsign = ac.callsign;
                     r.type = "B738";
                     r.feedTime = 1000.0 + 2.0 * i;
                     r.point = point(north(k < c.at.size() && c.at[k] > 0.0 ? c.at[k] : i), 4.0, alt(i), 233,
                                     1000 + 200 * i, 3200);
                     lf_decodeRecord(r, lookup);
                 }
                 const auto p = std::find_if(ac.stream.begin(), ac.stream.end(),
                                             [&](const StreamPoint& q) { return q.lat == north(c.placeOf); });
                 ASSERT_NE(p, ac.stream.end()) << c.placeOf;
                 EXPECT_EQ(p->time, 1000 + 200 * c.own) << c.placeOf;
                 EXPECT_NEAR(p->alt, alt(c.own), 30.0) << c.placeOf;
             }
             // An EC35 descending 1,000 fpm at 63 kt, a report every 2 s;
             // report 5 comes with the place of 8.5, report 6 repeats it,
             // also where reports 3 and 4 repeated the place of 2 (the
             // receiver coasting: that place is of report 2's moment).
             // So does a DA40's receiver whose every report the next poll
             // hands on once more: the very same report holds no place;
             // and with a report every 5 s, report 5 with the place of 6.6,
             // unless report 6's height is a spike of 200 ft.
             using Row = std::tuple<AcCategory, bool, double, double, double, int>;
             for (const auto& [category, coasted, gap_s, ahead, spike_ft, own] :
                  {Row{AcCategory::Rotorcraft, false, 2, 8.5, 0, 6}, Row{AcCategory::Light, false, 2, 8.5, 0, 6},
                   Row{AcCategory::Rotorcraft, true, 2, 8.5, 0, 6}, Row{AcCategory::Light, true, 5, 6.6, 0, 6},
                   Row{AcCategory::Light, true, 5, 6.6, 200, 5}}) {
                 g_liveAc.clear();
                 LiveAc& heli = activeAc(kRulesHex, {point(47.4, 8.6, 2500, 63, 1000, -1000)});
                 heli.category = category;
                 LiveLookup lookup;
                 const auto north = [&](double at) { return 47.4 + 63.0 * kNmLat / 3600.0 * gap_s * at; };
                 const auto alt = [&](int i) { return 2500.0 - 1000.0 / 60.0 * gap_s * i; };
                 for (int i = 1; i <= 10; ++i) {
                     FlightRecord r;
                     r.hexid = kRulesHex;
                     r.callsign = heli.callsign;
                     r.type = category == AcCategory::Light ? "DA40" : "EC35";
                     r.feedTime = 1000.0 + gap_s * i;
                     const double at = i == 5 || i == 6 ? ahead : coasted && (i == 3 || i == 4) ? 2 : i;
                     r.point = point(north(at), 8.6, alt(i) + (i == 6 ? spike_ft : 0.0), 63,
                                     1000 + static_cast<int>(100 * gap_s) * i, -1000);
                     for (int poll = 0; poll < (category == AcCategory::Light ? 2 : 1); ++poll) lf_decodeRecord(r, lookup);
                 }
                 const auto at = [&](const StreamPoint& q) { return q.lat == north(ahead); };
                 ASSERT_EQ(std::count_if(heli.stream.begin(), heli.stream.end(), at), 1) << static_cast<int>(category);
                 const auto p = std::find_if(heli.stream.begin(), heli.stream.end(), at);
                 EXPECT_EQ(p->time, 1000 + static_cast<int>(100 * gap_s) * own) << static_cast<int>(category);
                 EXPECT_NEAR(p->alt, alt(own), 30.0) << static_cast<int>(category);
             }
         }},
        {"a light twin's readings 200-575 ft off its descent, within its reach of the report before, are flown "
         "where the reports on both sides agree along their rates; so is one two after the report it is made from",
         [] {
             // Flight inspection at Heathrow, a report every 5 s as a receiver
             // that mixes sources delivered it: heights, rates, the truth.
             const std::vector<double> alt{2137, 2056, 2200, 1933, 1891, 1850, 1762, 1675, 1793, 2087, 1431, 1350, 1275, 1200},
                 rate{-864, -912, -960, -938, -917, -896, -992, -1088, -1072, -1056, -1040, -1024, -944, -864},
                 truth{2137, 2056, 1975, 1933, 1891, 1850, 1762, 1675, 1593, 1512, 1431, 1350, 1275, 1200};
             g_liveAc.clear();
             LIGHT_AIRCRAFT.setValue(true);
             LiveLookup lookup;
             for (std::size_t i = 0; i < alt.size(); ++i) {
                 FlightRecord r;
                 r.hexid = kRulesHex;
                 r.callsign = "VOR05";
                 r.type = "BE58";
                 r.feedTime = 1000.0 + 5.0 * static_cast<double>(i);
                 r.point = point(51.47, -0.9 + 0.006 * static_cast<double>(i), alt[i], 160,
                                 static_cast<std::int32_t>(1000 + 500 * i), rate[i]);
                 lf_decodeRecord(r, lookup);
             }
             const LiveAc* ac = liveAc(kRulesHex);
             ASSERT_NE(ac, nullptr);
             // The last two still wait for the reports after them.
             for (const StreamPoint& p : ac->stream)
                 if (p.time < 1000 + 500 * 12) EXPECT_NEAR(p.alt, truth[(p.time - 1000) / 500], 50.0) << p.time;
         }},
        {"a glider flying straight on whose report 12 s on lies 2 s on from the one before (an old place, a fresh "
         "height) is not flown there; one whose track turned half round since keeps its place (a circle)",
         [] {
             // A DA40 northbound at 75 kt, a report every 12 s; report 3 has the place of 26 s.
             const auto north = [](double at_s) { return 44.2 + 75.0 * kNmLat / 3600.0 * at_s; };
             for (const double track : {360.0, 180.0}) {
                 g_liveAc.clear();
                 LiveAc& ac = activeAc(kRulesHex, {point(44.2, 5.9, 4000, 75, 1000, 500)});
                 ac.category = AcCategory::Light;
                 LiveLookup lookup;
                 for (int i = 1; i <= 3; ++i) {
                     FlightRecord r;
                     r.hexid = kRulesHex;
                     r.feedTime = 1000.0 + 12.0 * i;
                     r.point = point(north(i == 3 ? 26.0 : 12.0 * i), 5.9, 4000 + 100.0 * i, 75, 1000 + 1200 * i, 500);
                     r.point.track = i == 3 ? track : 360.0;
                     lf_decodeRecord(r, lookup);
                 }
                 EXPECT_EQ(ac.stream.back().lat == north(26.0), track != 360.0) << track;
             }
         }},
        {"after a silence, an airliner's report whose place lies seconds farther on than its speed carries it is "
         "flown at the time and height of that place; one on its way keeps its own",
         [] {
             // A B738 climbing 3,200 fpm at 233 kt, a report every 2 s;
             // reports 5-9 are lost, and report 10 comes with the place
             // of 1.5 s later.
             for (const bool ahead : {true, false}) {
                 g_liveAc.clear();
                 LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 3000, 233, 1000, 3200)});
                 LiveLookup lookup;
                 const auto north = [](double i) { return 52.0 + 233.0 * kNmLat / 3600.0 * 2.0 * i; };
                 const auto alt = [](double i) { return 3000.0 + 3200.0 / 30.0 * i; };
                 for (int i = 1; i <= 12; ++i) {
                     if (i >= 5 && i <= 9) continue;
                     const double at = ahead && i == 10 ? 10.75 : i;
                     FlightRecord r;
                     r.hexid = kRulesHex;
                     r.callsign = ac.callsign;
                     r.type = "B738";
                     r.feedTime = 1000.0 + 2.0 * i;
                     r.point = point(north(at), 4.0, alt(i), 233, 1000 + 200 * i, 3200);
                     lf_decodeRecord(r, lookup);
                 }
                 const double placeOf = ahead ? 10.75 : 10.0;
                 const auto p = std::find_if(ac.stream.begin(), ac.stream.end(),
                                             [&](const StreamPoint& q) { return q.lat == north(placeOf); });
                 ASSERT_NE(p, ac.stream.end()) << ahead;
                 EXPECT_NEAR(p->time, 1000 + 200 * placeOf, 5) << ahead;
                 EXPECT_NEAR(p->alt, alt(placeOf), 10.0) << ahead;
             }
         }},
        {"an airliner's report after a spike 800 ft under its rate line is no climb out of its reach; a report whose "
         "place lies some 2 s farther on than its speed carries it is flown at the time and height of that place, "
         "whether its own height is of its time, of the place's, or a spike, also when the next repeats it",
         [] {
             // A B738 climbing 3,200 fpm at 233 kt, a report every 2 s
             // through the intake (every other one thinned out of the
             // stream); report 7, and report 8 where held, with the place of
             // moment `at` and the height of moment `own`, off by off_ft.
             const auto north = [](double i) { return 52.0 + 233.0 * kNmLat / 1800.0 * i; };
             const auto alt = [](double i) { return 3000.0 + 3200.0 / 30.0 * i; };
             for (const auto& [at, own, off_ft, held] : std::vector<std::tuple<double, double, double, bool>>{
                      {7.9, 7, 0, false}, {7.9, 7.9, 0, false}, {7.9, 7, -800, false}, {8.25, 8.25, 0, true},
                      {7, 7, 0, false}, {7, 7, -850, false}}) {
                 g_liveAc.clear();
                 LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 3000, 233, 1000, 3200)});
                 LiveLookup lookup;
                 for (int i = 1; i <= 10; ++i) {
                     const bool odd = i == 7 || (held && i == 8);
                     FlightRecord r;
                     r.hexid = kRulesHex, r.callsign = ac.callsign, r.type = "B738", r.feedTime = 1000.0 + 2.0 * i;
                     const double h = odd ? alt(own) + off_ft : alt(i);
                     r.point = point(north(odd ? at : i), 4.0, h, 233, 1000 + 200 * i, 3200);
                     lf_decodeRecord(r, lookup);
                 }
                 const auto p =
                     std::find_if(ac.stream.begin(), ac.stream.end(), [&](auto& q) { return q.lat == north(at); });
                 ASSERT_NE(p, ac.stream.end()) << at << " " << off_ft;
                 EXPECT_TRUE(std::fabs(p->time - 1000 - 200 * at) <= 5 && std::fabs(p->alt - alt(at)) <= 30)
                     << at << " " << own << " " << off_ft;
                 const auto run = ac.motion.more.recentDue.begin();
                 EXPECT_TRUE(held || std::count(run, run + ac.motion.more.recentCount, 2600)) << off_ft << ", report 8";
             }
         }},
        {"a short run of ground points between reports in the air well above the ground is lifted onto their "
         "line, unless they show a touch",
         [] {
             // In the air at 1000 (ticks), on the ground at `ground`, in the air 5 s later; the ground at 0 ft.
             struct Case {
                 AcCategory category;
                 double before_ft, vrate, after_ft, afterVrate;
                 std::vector<int> ground;
                 bool lifted;
                 int flownTo = 0;  // flying to the first ground point, retimed to this
             };
             const AcCategory L = AcCategory::Light;
             for (const Case& c : {Case{L, 350, -800, 250, -800, {1500}, true}, Case{L, 60, 0, 100, 900, {1500}, false},
                                   Case{L, 20, -800, 10, -800, {1500}, false},
                                   Case{L, 350, -800, 250, -800, {1500, 2100}, false},
                                   Case{L, 350, -800, 250, -800, {1500, 2000}, true, 1200},
                                   Case{AcCategory::Rotorcraft, 60, 0, 60, 0, {1200, 1300}, true},
                                   Case{AcCategory::Large, 350, -800, 250, -800, {1500}, false}}) {
                 g_liveAc.clear();
                 LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, c.before_ft, 130, 1000, -800)});
                 ac.category = c.category;
                 ac.cgHeight = ac.motion.more.simGround_ft = 0.0;
                 ac.motion.more.simGroundKnown = true;
                 const int due = c.ground.back() + 500;
                 for (const int t : c.ground)
                     ac.stream.push_back(point(52.0 + 1e-5 * (t - 1000), 4.0, 0, 130, t, c.vrate));
                 if (c.flownTo > 0) {
                     ac.stream.pop_front();
                     ac.motion.more.frontReceivedDue = std::exchange(ac.stream.front().time, c.flownTo);
                 }
                 decodeExisting(ac, point(52.0 + 1e-5 * (due - 1000), 4.0, c.after_ft, 130, due, c.afterVrate));
                 for (std::size_t i = 1; i + 1 < ac.stream.size(); ++i) {
                     const double share = (ac.stream[i].time - 1000.0) / (due - 1000.0);
                     const double line_ft = c.before_ft + (c.after_ft - c.before_ft) * share;
                     EXPECT_NEAR(ac.stream[i].alt, c.lifted ? line_ft : 0.0, 1.0) << c.before_ft << ", " << c.after_ft;
                 }
                 EXPECT_EQ(ac.stream.front().time, c.flownTo > 0 ? 1001 : 1000) << "planned again from where it is";
             }
         }},
        {"a report in the air after low readings lifted off the ground is judged with the reports before them",
         [] {
             // A light twin sinking 384 fpm, a report every 5 s: report 6
             // spiked 350 ft high, 7 read as the ground, 8 spiked 450 ft high.
             LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 800, 92, 1000, -384)});
             ac.category = AcCategory::Light;
             ac.cgHeight = 0.0, ac.motion.more.simGround_ft = 184.0, ac.motion.more.simGroundKnown = true;
             LiveLookup lookup;
             const auto alt = [](int i) { return 800.0 - 32.0 * i; };
             for (int i = 1; i <= 8; ++i) {
                 FlightRecord r;
                 r.hexid = kRulesHex, r.callsign = ac.callsign, r.type = ac.type, r.feedTime = 1000.0 + 5.0 * i;
                 const double h = i == 7 ? 0.0 : alt(i) + (i == 6 ? 350.0 : i == 8 ? 450.0 : 0.0);
                 r.point = point(52.0 + 92.0 * kNmLat / 720.0 * i, 4.0, h, 92, 1000 + 500 * i, -384);
                 lf_decodeRecord(r, lookup);
             }
             EXPECT_NEAR(ac.stream.back().alt, alt(8), 100.0);
         }},
        {"a stop of less than 15 s on the ground disappears",
         [] {
             LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 0, 10, 1000), point(52.0005, 4.0, 0, 10, 1400),
                                          point(52.001, 4.0, 0, 0, 1800)}, true);
             ac.stream.back().stationary = true;
             StreamPoint stop = ac.stream.back();
             stop.time = 2200;
             decodeExisting(ac, stop);
             ASSERT_EQ(ac.stream.size(), 4u);
             decodeExisting(ac, point(52.0015, 4.0, 0, 10, 2600));
             EXPECT_EQ(ac.stream.size(), 3u) << "both stationary points cut off";
             EXPECT_FALSE(ac.stream[1].stationary);
         }},
    });
}

// Taxi points east and north of 52N 4E in metres, due at `due`.
StreamPoint taxiAt(double east, double north, double gs, std::int32_t due) {
    StreamPoint p;
    p.lat = 52.0 + north / 111132.95;
    p.lon = 4.0 + east / (111132.95 * std::cos(52.0 * kDegToRad));
    p.gs = gs;
    p.tas = gs;
    p.time = due;
    return p;
}

TEST_F(MotionRules, TaxiShapeTable) {
    auto curves = [] { return !std::isnan(g_liveAc.back().motion.curve.controlEast_m); };
    runRows({
        {"a 60 degree turn 40 m on at 10 kt becomes a curve; a 170 degree reversal does not",
         [&] {
             for (const double turn : {60.0, 170.0}) {
                 const double e = 40.0 * std::sin(turn * kDegToRad), n = 40.0 + 40.0 * std::cos(turn * kDegToRad);
                 LiveAc& ac = activeAc(
                     kRulesHex, {taxiAt(0, 0, 10, 1000), taxiAt(0, 40, 10, 1778), taxiAt(e, n, 10, 2556)}, true);
                 nextPosMain(ac);
                 EXPECT_EQ(curves(), turn < 160.0) << turn;
                 EXPECT_EQ(ac.stream.size(), turn < 160.0 ? 1u : 2u) << "the curve's end point leaves the stream";
                 if (turn < 160.0) {
                     // The curve's 73 m at 10 kt: 14.2 s, not both legs in
                     // the 7.8 s of the first, nor the 69 m chord's 13.5 s.
                     EXPECT_NEAR(ac.stream[0].lat, 52.0 + n / 111132.95, 1e-9) << "the segment ends where the curve does";
                     EXPECT_NEAR(ac.stream[0].time, 2418, 20) << "due when the curve is flown at its 10 kt";
                 }
                 g_liveAc.clear();
             }
         }},
        {"a 20 degree turn onto a slow 60 m leg is turned within the leg, not a fraction of it",
         [&] {
             const double e = 60.0 * std::sin(20.0 * kDegToRad), n = 60.0 * std::cos(20.0 * kDegToRad);
             LiveAc& ac = activeAc(kRulesHex, {taxiAt(0, 0, 5, 1000), taxiAt(e, n, 5, 2166)}, true);
             ac.pos.heading = 0.0;  // coming up northbound
             nextPosMain(ac);
             ASSERT_TRUE(ac.motion.more.sharpTurn);
             EXPECT_GE(ac.currentTurnRate * (ac.stream[0].time - 1000), 19.9 * kDegToRad);
         }},
        {"a taxiing aircraft 200 m behind a report due in 2 s catches up at a speed it can roll at 10 kt",
         [&] {
             LiveAc& ac = activeAc(kRulesHex, {taxiAt(0, 0, 10, 1000), taxiAt(0, 200, 10, 1200)}, true);
             nextPosMain(ac);
             // 200 m at 10 kt with a quarter and 10 kt to catch up: 17.3 s.
             EXPECT_GE(ac.stream[0].time, 2720) << "due after " << ac.motion.windowAfter << " ticks of window";
         }},
        {"a 90 degree turn after a 100 m straight at 10 kt gets a midpoint halfway first, no curve yet",
         [&] {
             LiveAc& ac = activeAc(
                 kRulesHex, {taxiAt(0, 0, 10, 1000), taxiAt(0, 100, 10, 2944), taxiAt(40, 100, 10, 3722)}, true);
             nextPosMain(ac);
             ASSERT_EQ(ac.stream.size(), 3u);
             EXPECT_NEAR(ac.stream[0].lat, 52.0 + 50.0 / 111132.95, 1e-7) << "halfway along the straight";
             EXPECT_EQ(ac.stream[0].time, 1972);
             EXPECT_FALSE(curves());
         }},
        {"a speed change of more than 5 kt over 100 m or more gets a midpoint at the mean speed; 5 kt does not",
         [&] {
             for (const double to : {20.0, 15.0}) {
                 LiveAc& ac = activeAc(kRulesHex, {taxiAt(0, 0, 10, 1000), taxiAt(0, 120, to, 2800)}, true);
                 nextPosMain(ac);
                 EXPECT_EQ(ac.stream[0].gs, to == 20.0 ? 15.0 : to) << to;
                 EXPECT_EQ(ac.stream.size(), to == 20.0 ? 2u : 1u) << to;
                 g_liveAc.clear();
             }
         }},
        {"a take-off run rotates in time to meet its first report in the air, 400 ft up, at its time: it aims at "
         "that report and configures for no landing on the way",
         [&] {
             // The roll at 150 kt (231 m in 3 s); the reports in the air
             // climb 3,000 fpm from 400 ft after the last on the ground.
             LiveAc& ac = activeAc(
                 kRulesHex, {taxiAt(0, 0, 150, 1000), taxiAt(0, 231, 150, 1300), taxiAt(0, 463, 150, 1600)}, true);
             ac.motion.more.takeOffRun = true;
             for (int i = 0; i < 4; ++i) {
                 StreamPoint p = taxiAt(0, 694 + 231 * i, 150, 1900 + 300 * i);
                 p.alt = 400 + 150 * i;
                 p.airborne = true;
                 p.vrate = 3000;
                 ac.stream.push_back(p);
             }
             double aimedAt = 0.0;
             for (std::int32_t t = 1000; t <= 1900; ++t) {
                 g_trafficTick = t;
                 updateLiveAc(ac);
                 if (t == 1300) aimedAt = ac.stream[0].alt;
             }
             EXPECT_EQ(aimedAt, 400.0) << "the climb aimed past the first report in the air";
             EXPECT_GT(ac.pos.alt, 300.0) << "left the runway too late";
             const auto gear = events(SimEventGearSet);
             EXPECT_EQ(std::count(gear.begin(), gear.end(), 1u), 0) << "gear down on the climb-out";
             for (const std::uint32_t flaps : events(SimEventFlapsSet)) EXPECT_LE(flaps, 3072u) << "landing flaps";
         }},
        {"a take-off roll keeps to its reports' times, no faster than its speeds let it catch up",
         [&] {
             // From standstill 90 m on at a coasting receiver's 20 kt: due
             // in 8 s (was 17.5 s at the mean speed); due in 1 s, it takes
             // the 5 s of 35 kt (20 kt with a quarter and 10 kt on top).
             struct Case { std::int32_t due, expected; };
             for (const Case c : {Case{1800, 1800}, Case{1100, 1500}}) {
                 LiveAc& ac = activeAc(kRulesHex, {taxiAt(0, 0, 0, 1000), taxiAt(0, 90, 20, c.due)}, true);
                 ac.motion.more.takeOffRun = true;
                 nextPosMain(ac);
                 ASSERT_EQ(ac.stream.size(), 1u);
                 EXPECT_NEAR(ac.stream[0].time, c.expected, 1) << c.due;
                 g_liveAc.clear();
             }
         }},
    });
}

TEST_F(MotionRules, ParkingTable) {
    runRows({
        {"two tries at the same last point search once; 30 m away needs the wide search",
         [] {
             useParkAirport(52.0, 4.0);
             LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 0, 5, 1000), point(52.0, 4.0005, 0, 0, 1400)}, true);
             const StreamPoint last = ac.stream.back();
             addStand("A1", last.lat + 30.0 / 111132.95, last.lon, 30);
             try2Park(ac, false);
             EXPECT_EQ(ac.flightState, FlightState::taxi);
             try2Park(ac, true);
             EXPECT_EQ(ac.flightState, FlightState::taxi) << "the same place is not searched again";
             ac.lastParkTry = {0, 0};
             try2Park(ac, true);
             EXPECT_EQ(ac.flightState, FlightState::parking);
             EXPECT_EQ(ac.stream.size(), 3u) << "front, the stand and the settled copy";
         }},
        {"an aircraft that ends its move 3 m short goes back to taxi",
         [] {
             useParkAirport(52.0, 4.0);
             Stand& s = addStand("A1", 52.0, 4.0, 30);
             LiveAc& ac = activeAc(kRulesHex, {point(52.0 + 3.0 / 111132.95, 4.0, 0, 0, 1000)}, true);
             ac.flightState = FlightState::parking;
             ac.standId = s.number;
             ac.standLat = s.latitude;
             ac.standLon = s.longitude;
             lf_arriveAtStand(ac);
             EXPECT_EQ(ac.flightState, FlightState::taxi);
         }},
        {"arriving on a stand that another aircraft took is one removal, queued once",
         [] {
             useParkAirport(52.0, 4.0);
             const Stand& s = addStand("A1", 52.0, 4.0, 30);
             // Both drove to A1; the first to get there takes it.
             for (std::uint32_t hex : {kRulesHex, kRulesHex + 1}) {
                 LiveAc& ac = activeAc(hex, {point(52.0, 4.0, 0, 0, 1000)}, true);
                 ac.flightState = FlightState::parking;
                 ac.standId = s.number;
                 ac.standLat = s.latitude;
                 ac.standLon = s.longitude;
                 nextPosMain(ac);
             }
             EXPECT_EQ(g_liveAc[0].flightState, FlightState::parked);
             EXPECT_EQ(g_liveAc[0].simState, SimState::active);
             const LiveAc& late = g_liveAc[1];
             EXPECT_EQ(late.simState, SimState::removingfromsim);
             EXPECT_EQ(std::count(g_respawnRemovalQueue.begin(), g_respawnRemovalQueue.end(), late.objectId), 1);
         }},
        {"a ghost never displaces its parked flight, the flight displaces its ghost",
         [] {
             Stand& s = addStand("A1", 52.0, 4.0, 30);
             LiveAc& dlh = activeAc(kRulesHex, {point(52.0, 4.0, 0, 0, 1000)}, true);
             dlh.callsign = "DLH4";
             dlh.flightState = FlightState::parked;
             dlh.standId = s.number;
             EXPECT_FALSE(lf_standArbitration(s.number, "DLH4_"));
             EXPECT_EQ(dlh.simState, SimState::active);
             dlh.callsign = "DLH4_";
             EXPECT_TRUE(lf_standArbitration(s.number, "DLH4"));
             EXPECT_EQ(dlh.simState, SimState::removingfromsim);
         }},
        {"leaving the airport frees every stand and only marks the records it removes",
         [] {
             useParkAirport(52.0, 4.0);
             const auto n1 = addStand("A1", 52.0, 4.0, 30).number;
             const auto n2 = addStand("A2", 52.001, 4.0, 30).number;
             activeAc(kRulesHex, {point(52.0, 4.0, 0, 3, 1000), point(52.0, 4.0001, 0, 3, 1400)}, true);
             activeAc(kRulesHex + 1, {point(52.001, 4.0, 0, 3, 1000), point(52.001, 4.0001, 0, 3, 1400)}, true);
             activeAc(kRulesHex + 2, {point(52.002, 4.0, 0, 3, 1000), point(52.002, 4.0001, 0, 3, 1400)}, true);
             g_liveAc[0].flightState = FlightState::parking;  // driving onto its stand
             g_liveAc[0].standId = n1;
             g_liveAc[1].flightState = FlightState::parked;
             g_liveAc[1].standId = n2;
             g_liveAc[2].simState = SimState::adding2sim;  // its creation still queued
             AiCreateRequest r;
             r.callsign = g_liveAc[2].callsign;
             g_liveCreationQueue.push_back(r);
             gf_clearAirportTraffic();
             ASSERT_EQ(g_liveAc.size(), 3u);
             for (const LiveAc& a : g_liveAc) EXPECT_EQ(a.standId, 0) << a.callsign;
             EXPECT_EQ(g_liveAc[0].simState, SimState::active) << "a parking aircraft stays";
             EXPECT_EQ(g_liveAc[1].simState, SimState::removingfromsim);
             EXPECT_TRUE(g_liveAc[2].countsAsRemoved());
             EXPECT_TRUE(g_liveCreationQueue.empty());
         }},
        {"a static aircraft still queued for creation never reaches the simulator",
         [] {
             useParkAirport(52.0, 4.0);
             Stand& s = addStand("A1", 52.0, 4.0, 30);
             AcBase base;
             base.callsign = "STAT1";
             g_staticAc.emplace_back(base, s.number, s.latitude, s.longitude, 0.0, 0);
             g_staticAc.back().simState = SimState::adding2sim;
             AiCreateRequest r;
             r.callsign = "STAT1";
             g_staticCreationQueue.push_back(r);
             LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 0, 0, 1000)}, true);
             lf_makesWay(ac, s);
             EXPECT_TRUE(g_staticCreationQueue.empty());
             EXPECT_TRUE(g_staticAc.empty());
         }},
    });
}

TEST_F(MotionRules, LiveryRespawnTable) {
    auto rec = [](const std::string& callsign, const std::string& registration) {
        FlightRecord r;
        r.callsign = callsign;
        r.registration = registration;
        r.type = "B738";
        return r;
    };
    runRows({
        {"with GUID_CHANGES off a new callsign is taken, object and livery kept",
         [&] {
             GUID_CHANGES.setValue(false);
             LiveAc& ac = level();
             ac.liveryTitle = "KLM B738";
             EXPECT_TRUE(lf_respawnCheck(ac, rec("KLM99", "")));
             EXPECT_EQ(ac.callsign, "KLM99");
             EXPECT_EQ(ac.simState, SimState::active);
             EXPECT_EQ(ac.liveryTitle, "KLM B738");
             GUID_CHANGES.setValue(true);
         }},
        {"a callsign that is the registration changes nothing",
         [&] {
             LiveAc& ac = level();
             ac.registration = "PH-BXA";
             const std::string before = ac.callsign;
             EXPECT_TRUE(lf_respawnCheck(ac, rec("PH-BXA", "PH-BXA")));
             EXPECT_EQ(ac.callsign, before);
         }},
        {"DLH4_ while DLH4 flies is dropped",
         [&] {
             LiveAc& real = activeAc(kRulesHex + 7, {point(52.1, 4.0, 5000, 250, 1000), point(52.2, 4.0, 5000, 250, 3000)});
             real.callsign = "DLH4";
             LiveAc& ac = level();
             EXPECT_FALSE(lf_respawnCheck(ac, rec("DLH4_", "")));
             EXPECT_EQ(ac.simState, SimState::active);
         }},
        {"a parked aircraft respawns on the spot, due at the next tick",
         [&] {
             LiveAc& ac = activeAc(kRulesHex, {point(52.0, 4.0, 0, 0, 1000), point(52.0, 4.0, 0, 0, 900000)}, true);
             ac.flightState = FlightState::parked;
             ac.pos.heading = 1.0;
             EXPECT_FALSE(lf_respawnCheck(ac, rec("KLM77", "")));
             EXPECT_EQ(ac.simState, SimState::liveryrespawn);
             ASSERT_EQ(ac.stream.size(), 2u);
             EXPECT_TRUE(ac.stream[0].stationary && ac.stream[1].stationary);
             EXPECT_EQ(ac.stream.front().time, 1001);
             EXPECT_NEAR(ac.stream.front().track, 1.0 * kRadToDeg, 1e-9);
             EXPECT_EQ(g_respawnRemovalQueue, std::deque<std::uint32_t>{ac.objectId});
             EXPECT_TRUE(ac.hasOverrideHeading);
         }},
        {"a new registration that the Dbase gives another airline and type, confirmed by the callsign, respawns",
         [&] {
             LiveAc& ac = level();
             ac.callsign = "DLH5";
             ac.airline = "KLM";
             ac.registration = "PH-OLD";
             ac.liveryTitle = "KLM B738";
             EXPECT_FALSE(lf_respawnCheck(ac, rec("DLH5", "D-AIZA")));
             EXPECT_EQ(ac.simState, SimState::liveryrespawn);
             EXPECT_EQ(ac.airline, "DLH");
             EXPECT_EQ(ac.type, "A320");
             EXPECT_TRUE(ac.liveryTitle.empty()) << "the next spawn chooses the livery anew";
         }},
        {"the same change not confirmed by the callsign keeps the aircraft",
         [&] {
             LiveAc& ac = level();
             ac.callsign = "KLM5";
             ac.airline = "KLM";
             ac.registration = "PH-OLD";
             EXPECT_TRUE(lf_respawnCheck(ac, rec("KLM5", "D-AIZA")));
             EXPECT_EQ(ac.simState, SimState::active);
             EXPECT_EQ(ac.type, "B738");
         }},
        {"a first registration that the Dbase knows as another airline and type respawns",
         [&] {
             LiveAc& ac = level();
             ac.callsign = "KLM5";
             ac.airline = "KLM";
             ac.registration.clear();
             ac.liveryTitle = "KLM B738";
             EXPECT_FALSE(lf_respawnCheck(ac, rec("KLM5", "D-AIZA")));
             EXPECT_EQ(ac.simState, SimState::liveryrespawn);
             EXPECT_EQ(ac.airline, "DLH");
             EXPECT_EQ(ac.type, "A320");
         }},
        {"pushing back or flying an extended stream, it never respawns",
         [&] {
             LiveAc& ac = level();
             ac.flightState = FlightState::pushing_back;
             EXPECT_TRUE(lf_respawnCheck(ac, rec("KLM55", "")));
             ac.flightState = FlightState::flying;
             ac.extensionCount = 3;
             EXPECT_TRUE(lf_respawnCheck(ac, rec("KLM56", "")));
             EXPECT_EQ(ac.simState, SimState::active);
             EXPECT_TRUE(g_respawnRemovalQueue.empty());
         }},
    });
}

}  // namespace
