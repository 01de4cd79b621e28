// The marks, counters and remembered values of the air and ground motion
// that live beside the per-segment rates: approach and take-off marks, the
// flare, the push-back, the stand departure and the holding of a silent
// aircraft. Reset with the aircraft record; only the motion code reads them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "core/geometry.h"
#include "feed/feed_records.h"

// A report as the judgement of the next one keeps it.
struct HeldReport {
    bool airborne = false;
    double t_s = 0.0, lat = 0.0, lon = 0.0, alt = 0.0, gs = 0.0;
    double track_deg = 0.0;  // 0 also where the receiver sent none
    // A later report came at this very place: the receiver holds it over
    // its reports, and the moment the place is of may lie before this
    // report's time.
    bool placeHeld = false;
};

struct MotionFields {
    // Approach configuration set (flaps 3, gear down); the flare runs only
    // while it is set.
    bool landing = false;
    bool takeOffRun = false;
    bool goAround = false;
    bool highAltitudeLights = false;
    bool lowAltitudeLights = false;
    // Rotation and climb-out countdown (ticks); 1 when idle.
    std::int32_t countdown = 1;
    // 0 none, 1..4 the flare's stages.
    std::int32_t flareStage = 0;
    double flareElevation_ft = 0.0;
    bool flareElevationValid = false;
    bool flareElevationTaken = false;
    double heightAboveElevation_ft = 0.0;
    // The flare's heights and sink rates, scaled to the approach's own sink
    // rate when the flare began (1 for 600 fpm or less).
    double flareScale = 1.0;
    // The ground altitude under the aircraft that the simulator reported
    // last, with its valid flag: the height above it follows every tick,
    // where the reported height above ground is up to a second old.
    double simGround_ft = 0.0;
    bool simGroundKnown = false;
    // How far below its reports the aircraft is flown on the final approach
    // (feet; negative: above them): the gap between the stream's touchdown
    // and the simulator's runway, taken in step by step.
    double runwayOffsetApplied_ft = 0.0;
    // The reports ahead reach the runway: a ground point in the stream, or a
    // roll-out reported level on the runway's pressure altitude. Only then
    // is the aircraft flown onto the ground.
    bool touchdownAhead = false;
    // The gear as last commanded in the air (-1: not yet), the tick of its
    // last change, and a change asked for but held back (-1: none).
    std::int32_t gearSent = -1;
    std::int32_t gearWanted = -1;
    std::int64_t gearChangedTick = 0;
    // A go-around seen ahead of a touch: the flaps come up with the gear.
    bool flapsUpAfterTouch = false;
    // A turn on the ground without a curve, sharper than 3 degrees.
    bool sharpTurn = false;
    double sharpTurnAngle_deg = 0.0;
    bool departurePending = false;
    // Arrived by landing (set at touchdown); decides the towing of a short stay.
    bool landed = false;
    // Push-back: the side of the quarter turn, and the other side's end.
    bool pushSideKnown = false;
    bool pushRightSide = false;
    StreamPoint pushAltEnd;
    double pushFirstDistance_nm = 900.0;
    double pushedBackLastDistance_nm = 0.0;
    // Where the last report that reached the stream checks placed it: a
    // ground speed is judged against the way the reports really move.
    double lastReportLat_deg = 0.0;
    double lastReportLon_deg = 0.0;
    // The last report judged possible: the next one is judged against it
    // (how far the aircraft can have flown and climbed since). Unset before
    // the first report.
    bool reportKnown = false;
    HeldReport report;
    // The possible report taken before that one: a report that this one and
    // the next rule out between them is not flown.
    bool earlierKnown = false;
    HeldReport earlier;
    // The last report the judgment refused: a receiver that lost the
    // aircraft repeats that place too, refused or not.
    bool refusedKnown = false;
    HeldReport refused;
    // The altitudes as reported of the last airborne points put into the
    // stream (oldest first) with their due times: each point is flown at the
    // median of the reports around it, or at the run of them, once they have
    // come.
    std::array<double, 11> recentAlt_ft{};
    std::array<std::int32_t, 11> recentDue{};
    // Their vertical rates as reported (feet per minute) and the heights
    // they are flown at once judged.
    std::array<double, 11> recentRate_fpm{};
    std::array<double, 11> recentFlown_ft{};
    // Their places as reported: a held height is told from a whole report
    // of another moment by its place.
    std::array<LatLon, 11> recentPlace{};
    std::size_t recentCount = 0;
    // Whether its feed has sent a vertical rate: such a feed sends 0 only
    // while the aircraft holds a level, and a level's reports are judged
    // by their rates too.
    bool ratesSeen = false;
    // How many of them the last ground point after a point in the air
    // ended: a ground report ruled out takes that run up again.
    std::size_t runBeforeGround = 0;
    // The report time of the newest of them: the feed repeats a report
    // until the next comes, and a repeat is no second report.
    double recentReportT_s = -1.0;
    // The due time the point being flown to was received with (planning its
    // segment moves it): a report judged again while the aircraft flies to
    // its point is told by it. Unset (the lowest value) until an airborne
    // segment is planned.
    std::int32_t frontReceivedDue = std::numeric_limits<std::int32_t>::min();
    // Holding of a silent aircraft on the ground.
    std::int32_t holdStartTick = 0;
    // A parked aircraft's received points around its stand.
    double parkFirstDistance_nm = -1.0;
    double parkLargestDistance_nm = 0.0;
    std::int32_t parkGrowCount = 0;
};
