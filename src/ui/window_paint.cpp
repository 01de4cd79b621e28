#include "ui/window_paint.h"

#include "core/settings.h"
#include "core/text.h"
#include "core/version.h"
#include "ui/text_fit.h"
#include "ui/text_metrics.h"
#include "ui/window_controls.h"
#include "ui/window_state.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* kAppTitle = "GLIM_P3D";
constexpr const char* kMakerNotice = "live traffic for Prepar3D";
constexpr const char* kTbloAddress = "airports@glim-p3d.net";

constexpr int kStateLine1_y = 399;
constexpr int kStateLine2_y = 427;

void fill(DrawList& out, const BandRect& r, Rgb c) { out.push_back({DrawOp::Kind::fill, r.left, r.top, r.right, r.bottom, c, {}}); }
void line(DrawList& out, int x1, int y1, int x2, int y2, Rgb c) {
    out.push_back({DrawOp::Kind::line, x1, y1, x2, y2, c, {}});
}
void text(DrawList& out, int x, int y, std::string t, Rgb c) {
    out.push_back({DrawOp::Kind::text, x, y, 0, 0, c, std::move(t)});
}
// A text whose length the user's data decides, cut where the next item of
// its line begins.
void textUpTo(DrawList& out, int x, int y, int right, std::string t, Rgb c) {
    out.push_back({DrawOp::Kind::text, x, y, right, 0, c, std::move(t)});
}

constexpr int kRightEdge = 880;
constexpr int kSimLampLeft = 397;
// A lamp's label is black on a lit lamp, lime on a dark one.
Rgb lf_lampLabel(Rgb lamp) { return lamp == kBlack ? kLime : kBlack; }

Rgb pick(bool condition, Rgb yes, Rgb no) { return condition ? yes : no; }

void lf_paintHeader(const DisplaySnapshot& s, DrawList& out) {
    text(out, 3, 7, fmt::format("Version {}", s.versionText), kLime);
    text(out, 390, 7, kAppTitle, kLime);
    text(out, 632, 7, kMakerNotice, kLime);
}

void lf_paintGrid(DrawList& out) {
    for (int y : {140, 224, 308}) line(out, 0, y, 880, y, kBlack);
    for (int y : {168, 196, 252, 280}) line(out, 0, y, 642, y, kBlack);
    line(out, 642, 140, 642, 308, kBlack);
}

// Labels of the time-shift group: black while the group is shown, else grey.
struct Label {
    const char* text;
    int x;
    int rowY;
    Rgb colour;
};

std::string lf_tbloReminder(std::uint64_t files) {
    return fmt::format("Please mail tblo.zip ({} file{}) to {}", files, gf_pluralSize(files), kTbloAddress);
}

// " {airport name}, {publisher}{ (h)}, wk={week}" in max_px: a long name
// gives way to the publisher, the handmade mark and the week, which say
// where the stands come from; a long publisher keeps at most half the room.
std::string lf_standFileText(const DisplaySnapshot& s, int max_px) {
    const std::string tail = fmt::format("{}, wk={}", s.handmade ? " (h)" : "", s.week);
    const int room = max_px - gf_modelTextWidth(" , " + tail);
    const int nameWidth = gf_modelTextWidth(s.standFileAirportName);
    const int publisherRoom = std::max(room / 2, room - nameWidth);
    const std::string publisher = gf_cutTextEnd(s.standFilePublisher, publisherRoom, gf_modelTextWidth);
    const std::string name =
        gf_cutTextEnd(s.standFileAirportName, room - gf_modelTextWidth(publisher), gf_modelTextWidth);
    return fmt::format(" {}, {}{}", name, publisher, tail);
}

}  // namespace

std::string gf_averageFitText(float hours) {
    if (std::floor(hours) != hours) return fmt::format("{:.1f}", hours);
    return fmt::format("{:.0f}", hours);
}

DisplaySnapshot gf_windowDisplaySnapshot() {
    const MainWindowState& w = g_mainWindowState;
    DisplaySnapshot s;
    s.versionText = std::string(kProgramVersionText);
    const WindowTexts t = w.texts();
    s.serviceText = t.serviceText;
    s.rtIdle = w.rtIdle;
    s.liveCount = w.liveCount;
    s.liveryCount = w.liveryCount;
    s.simaddonCount = w.simaddonCount;
    s.thirdpartyCount = w.thirdpartyCount;

    s.guidChanges = GUID_CHANGES.value();
    s.scanLiveries = SCAN_LIVERIES.value();
    s.scanAirports = SCAN_AIRPORTS.value();
    s.autoRange = AUTO_RANGE.value();
    s.airborneOnly = AIRBORNE_ONLY.value();
    s.straightPbsOnly = STRAIGHT_PBS_ONLY.value();
    s.initialLoadOnly = INITIAL_LOAD_ONLY.value();
    s.parkTrafficOnly = RT_PARKTRAFFIC_ONLY.value();
    s.timeShiftDays = TIME_SHIFT_DAYS.value();
    s.timeShiftHours = TIME_SHIFT_HOURS.value();
    s.timeShiftMins = TIME_SHIFT_MINS.value();
    s.maxParkSel = MAX_PARK_SEL.value();
    s.maxLiveSel = MAX_LIVE_SEL.value();
    s.timeShiftDisplay = w.timeShiftDisplay;
    s.parkingBusy = w.parkingBusy;
    s.minutesToRenewal = w.minutesToRenewal;

    s.parkAirport = t.parkAirport;
    s.standsShown = w.standsShown;
    s.standFilePublisher = t.standFilePublisher;
    s.standFileAirportName = t.standFileAirportName;
    s.handmade = w.handmade;
    s.week = w.week;
    s.sMark = w.sMark;
    s.wMark = w.wMark;
    s.qualityText = t.qualityText;
    s.reservedStand = t.reservedStand;
    s.reservedStandValid = w.reservedStandValid;
    s.updates = w.updates;
    s.stands = w.stands;
    s.parkedLive = w.parkedLive;
    s.liveAverageFit = w.liveAverageFit;
    s.staticCount = w.staticCount;
    s.staticExtra = w.staticExtra;
    s.staticAverageFit = w.staticAverageFit;
    s.maxPark = w.maxPark;
    s.maxParkPercent = w.maxParkPercent;
    s.status = gf_statusLineSnapshot();
    return s;
}

void lf_paintCounters(const DisplaySnapshot& s, DrawList& out) {
    // The simulator lamp also colours the simulator's two texts.
    const Rgb sim = !s.connected ? kRed : (s.running && !s.userAcTitle.empty() ? kLime : kYellow);
    fill(out, {kSimLampLeft, 30, 425, 112}, sim);
    text(out, 398, 63, "Sim", lf_lampLabel(sim));
    if (s.connected) {
        std::string simLine = s.simText;
        if (!s.userStand.empty()) simLine += ", user stand " + s.userStand;
        textUpTo(out, 5, 35, kSimLampLeft, simLine, sim);
        textUpTo(out, 5, 63, kSimLampLeft, s.userAcTitle, s.userAcKnown ? sim : kYellow);
    }
    if (s.liveryCount != 0) {
        textUpTo(out, 5, 91, 141, fmt::format("# liveries: {}", s.liveryCount), kLime);
    } else {
        text(out, 5, 91, "# liveries: ...", kRed);
    }
    if (s.simaddonCount != 0) {
        textUpTo(out, 141, 91, 278, fmt::format("# simaddon: {}", s.simaddonCount), kLime);
    } else {
        text(out, 141, 91, "# simaddon: ...", kYellow);
    }
    if (s.thirdpartyCount != 0) {
        textUpTo(out, 278, 91, kSimLampLeft, fmt::format("# thirdp: {}", s.thirdpartyCount), kLime);
    } else {
        text(out, 278, 91, "# thirdp: ...", kYellow);
    }
    const Rgb rt = s.rtIdle ? kBlack : (s.authenticated ? kLime : kRed);
    fill(out, {425, 30, 453, 112}, rt);
    text(out, 430, 63, "RT", lf_lampLabel(rt));
    if (s.authenticated) {
        textUpTo(out, 458, 35, kRightEdge, s.serviceText, kLime);
        if (s.weatherLamp != 3) text(out, 458, 63, "Weather", pick(s.weatherLamp == 1, kLime, kYellow));
        if (s.trafficLamp != 3) text(out, 458, 91, "Traffic", pick(s.trafficLamp == 1, kLime, kYellow));
    }
    line(out, 425, 29, 425, 112, kBlack);
}

void lf_paintLabels(const DisplaySnapshot& s, DrawList& out) {
    const Rgb shift = pick(s.timeShiftDisplay, kBlack, kGrey);
    const Rgb parkGroup = pick(!s.parkTrafficOnly, kBlack, kGrey);
    const bool noneWanted = s.maxParkSel == 0 && s.maxLiveSel == 0;
    const Rgb maxPark = noneWanted ? kRed : pick(s.maxParkSel != 0, kBlack, kYellow);
    const Rgb maxLive = noneWanted ? kRed : pick(s.maxLiveSel != 0, kBlack, kYellow);
    const Rgb arGroup = pick(s.autoRange, kBlack, kGrey);

    const Label labels[] = {
        {"Time shift:", 652, TIME_SHIFT_DAYS.rowY(), shift},
        {"Keep", 672, KEEP_SIM_TIME_PAR.rowY(), shift},
        {"Sim Time", 672, TIME_SHIFT_HOURS.rowY(), shift},
        {"Stay on top", 768, ALWAYS_ON_TOP.rowY(), kBlack},
        {"Nav lights", 768, NAV_LIGHTS_WHILE_PARKED.rowY(), kBlack},
        {"GUID changes", 768, GUID_CHANGES.rowY(), pick(s.guidChanges, kBlack, kYellow)},
    };
    for (const Label& l : labels) text(out, l.x, l.rowY, l.text, l.colour);
    text(out, 798, TIME_SHIFT_DAYS.rowY(), fmt::format("day{}", gf_pluralInt(s.timeShiftDays)), shift);
    text(out, 798, TIME_SHIFT_HOURS.rowY(), fmt::format("hour{}", gf_pluralInt(s.timeShiftHours)), shift);
    text(out, 798, TIME_SHIFT_MINS.rowY(), fmt::format("minute{}", gf_pluralInt(s.timeShiftMins)), shift);

    text(out, 5, ALL_INSTALL_PATH.rowY(), "Install path:", kBlack);
    text(out, 25, SCAN_LIVERIES.rowY(), "Scan for liveries", pick(s.scanLiveries, kYellow, kBlack));
    text(out, 556, LIG_PRIORITIZE.rowY(), "Prioritize", kBlack);
    text(out, 25, SCAN_AIRPORTS.rowY(), "Scan for addon airports", pick(s.scanAirports, kYellow, kBlack));
    if (s.tbloFileCount > 0) {
        textUpTo(out, 323, SCAN_AIRPORTS.rowY(), 748, lf_tbloReminder(s.tbloFileCount), kRed);
    }
    text(out, 5, MATCHING_DEPTH.rowY(), "Max aircraft matching depth", kBlack);
    text(out, 258, LIGHT_AIRCRAFT.rowY(), "Optional:", kBlack);
    text(out, 343, LIGHT_AIRCRAFT.rowY(), "Light aircraft", pick(s.lightAircraftEnabled, kBlack, kGrey));
    text(out, 450, HELICOPTERS.rowY(), "Helicopters", pick(s.helicoptersEnabled, kBlack, kGrey));
    text(out, 556, HIGH_PERF_AIRCRAFT.rowY(), "FighterJets", pick(s.highPerfEnabled, kBlack, kGrey));
    text(out, 5, RANGE.rowY(), "Traffic injection", kBlack);
    text(out, 163, RANGE.rowY(), "Radius:", kBlack);
    text(out, 270, RANGE.rowY(), "nm, or", kBlack);
    text(out, 343, AUTO_RANGE.rowY(), "Auto range", kBlack);
    text(out, 430, AR_ABOVE_HEIGHT.rowY(), "Ah:", arGroup);
    text(out, 536, AR_ABOVE_HEIGHT.rowY(), "ft", arGroup);
    text(out, 592, AIRBORNE_ONLY.rowY(), "AirOnly", pick(s.airborneOnly, kYellow, kBlack));
    text(out, 5, BLOCK_CALLSIGN.rowY(), "Block callsign:", kBlack);
    text(out, 5, COLLISION_USER_GND.rowY(), "Collision avoidance", kBlack);
    text(out, 237, COLLISION_USER_GND.rowY(), "User ground", kBlack);
    text(out, 343, COLLISION_USER_AIR.rowY(), "User air", kBlack);
    text(out, 450, COLLISION_LIVE_PARKED_GND.rowY(), "Live X parked", kBlack);
    text(out, 5, MAX_PARK_SEL.rowY(), "Airport parking", pick(s.parkingBusy, kYellow, kBlack));
    text(out, 171, MAX_PARK_SEL.rowY(), "Max park (static+live):", maxPark);
    text(out, 401, MAX_LIVE_SEL.rowY(), "Max live (park incl):", maxLive);
    text(out, 672, STRAIGHT_PBS_ONLY.rowY(), "Straight push backs only", pick(s.straightPbsOnly, kBlack, kGrey));
    text(out, 137, DESTINATION.rowY(), "Destination:", kBlack);
    text(out, 303, AIRP_RANGE.rowY(), "Range:", kBlack);
    text(out, 403, AIRP_RANGE.rowY(), "nm", kBlack);
    text(out, 440, AIRP_HEIGHT.rowY(), "Height above gnd:", kBlack);
    text(out, 646, AIRP_HEIGHT.rowY(), "ft", kBlack);
    // The renewal note follows the countdown while the park airport's stands
    // are there and no rebuild is under way.
    if (s.standsShown && !s.parkingBusy) {
        if (s.initialLoadOnly) {
            text(out, 5, AIRP_RANGE.rowY(), "(no next ... )", kBlack);
        } else if (s.minutesToRenewal >= 1 && s.minutesToRenewal <= 19) {
            textUpTo(out, 5, AIRP_RANGE.rowY(), 137, fmt::format("(next in {} min)", s.minutesToRenewal), kBlack);
        }
    }
    text(out, 25, INITIAL_LOAD_ONLY.rowY(), "ILO", pick(s.initialLoadOnly, kYellow, kBlack));
    text(out, 91, WEEK.rowY(), "Week", parkGroup);
    text(out, 171, PARK_SOFT.rowY(), "Soft", parkGroup);
    text(out, 264, parking_percentage.rowY(), "Target: ", parkGroup);
    text(out, 378, parking_percentage.rowY(), "%", parkGroup);
    text(out, 506, MAX_FIT_FL.rowY(), "Max fit:", parkGroup);
    text(out, 632, MAX_FIT_FL.rowY(), "hrs", kBlack);
    text(out, 687, RT_PARKTRAFFIC_ONLY.rowY(), "PT only", kBlack);
}

void lf_paintStateLines(const DisplaySnapshot& s, DrawList& out) {
    if (s.parkAirport.empty()) return;
    textUpTo(out, 5, kStateLine1_y, s.standsShown ? 85 : kRightEdge, s.parkAirport, pick(s.standsShown, kLime, kYellow));
    if (!s.standsShown) return;
    textUpTo(out, 85, kStateLine1_y, 370, lf_standFileText(s, 370 - 85), kLime);
    if (s.sMark || s.wMark) {
        text(out, 370, kStateLine1_y, s.sMark && s.wMark ? "*WS*" : (s.sMark ? "*S*" : "*W*"), kLime);
    }
    if (!s.parkTrafficOnly) textUpTo(out, 430, kStateLine1_y, 571, fmt::format("qf: {}", s.qualityText), kLime);
    if (!s.reservedStand.empty()) {
        textUpTo(out, 571, kStateLine1_y, 748, fmt::format("reserved stand: {}", s.reservedStand),
                 pick(s.reservedStandValid, kLime, kRed));
    }
    textUpTo(out, 748, kStateLine1_y, kRightEdge, fmt::format("# updates: {:4}", s.updates), kLime);

    textUpTo(out, 5, kStateLine2_y, 111, fmt::format("# stands: {:3}", s.stands), kLime);
    textUpTo(out, 111, kStateLine2_y, 249, fmt::format("parked live: {:3}", s.parkedLive), kLime);
    if (s.liveAverageFit > 0) {
        textUpTo(out, 249, kStateLine2_y, 430, fmt::format("average fit: {}", gf_averageFitText(s.liveAverageFit)),
                 kLime);
    }
    if (s.maxPark > 0) {
        textUpTo(out, 430, kStateLine2_y, 500, fmt::format("static: {:3}", s.staticCount), kLime);
        if (s.staticExtra != 0) textUpTo(out, 500, kStateLine2_y, 571, fmt::format(" ({})", s.staticExtra), kYellow);
        if (!s.wMark && s.staticAverageFit > 0) {
            textUpTo(out, 571, kStateLine2_y, 708,
                     fmt::format("average fit: {}", gf_averageFitText(s.staticAverageFit)), kLime);
        }
    }
    if (s.parkTrafficOnly) return;
    if (s.maxPark > 0) {
        textUpTo(out, 708, kStateLine2_y, kRightEdge, fmt::format("max park: {:3} (={} %)", s.maxPark, s.maxParkPercent),
                 kLime);
    } else {
        text(out, 708, kStateLine2_y, "no max park live", kLime);
    }
}

void lf_paintStatusBand(const StatusLineSnapshot& status, DrawList& out) {
    const StatusBandLook look = gf_statusBandLook(status);
    fill(out, kStatusBand, {look.fill.r, look.fill.g, look.fill.b});
    const Rgb colour{kStatusTextColour.r, kStatusTextColour.g, kStatusTextColour.b};
    // What the user must do, and where to read about it, usually ends the
    // message, after a path that may be long: the path gives way first.
    const int width = kRightEdge - kStatusTextX;
    if (!look.notice.empty()) {
        textUpTo(out, kStatusTextX, kNoticeTextY, kRightEdge, gf_fitTextWithPath(look.notice, width, gf_modelTextWidth),
                 colour);
    }
    if (!look.text.empty()) {
        textUpTo(out, kStatusTextX, look.textY, kRightEdge, gf_fitTextWithPath(look.text, width, gf_modelTextWidth),
                 colour);
    }
}

DrawList gf_paintMainWindow(const DisplaySnapshot& s) {
    DrawList out;
    out.reserve(128);
    fill(out, kHeaderBand, kBlack);
    fill(out, kCounterBand, kBlack);
    fill(out, kStateBand, kBlack);
    fill(out, kControlsBand, kLightBlue);
    fill(out, kStatusBand, kLime);
    for (int y : {28, 113, 392, 449}) line(out, 0, y, 880, y, kWhite);
    lf_paintHeader(s, out);
    lf_paintGrid(out);
    lf_paintCounters(s, out);
    if (s.authenticated) {
        if ((s.weatherLamp == 1 || s.weatherLamp == 2) && s.qnh >= 1) {
            textUpTo(out, 642, 63, kRightEdge, fmt::format("qnh: {:4}", s.qnh), kLime);
        }
        if (s.trafficLamp == 1 || s.trafficLamp == 2) {
            textUpTo(out, 642, 91, kRightEdge, fmt::format("live: {:3}", s.liveCount), kLime);
        }
    }
    lf_paintLabels(s, out);
    lf_paintStateLines(s, out);
    lf_paintStatusBand(s.status, out);
    return out;
}
