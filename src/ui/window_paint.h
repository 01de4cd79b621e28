// Every painting decision of the main window as a portable function: a
// snapshot of the display values goes in, a list of fills, lines and texts
// comes out. The Win32 paint handler only executes the list.
#pragma once

#include "core/status_line.h"

#include <cstdint>
#include <string>
#include <vector>

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kLime{50, 205, 50};
inline constexpr Rgb kYellow{255, 255, 0};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kLightBlue{153, 204, 255};
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kGrey{160, 160, 160};

struct DrawOp {
    enum class Kind { fill, line, text };
    Kind kind;
    // fill: the rectangle (x1, y1)-(x2, y2); line: from (x1, y1) to (x2, y2);
    // text: its top-left point (x1, y1) and, for a text of any length, the
    // x2 where the next item of its line begins (0: a fixed text that fits);
    // a longer text is cut there with "...".
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    Rgb colour;
    std::string text;
};
using DrawList = std::vector<DrawOp>;

// Everything the painters read, copied at the start of one paint.
struct DisplaySnapshot {
    // Header and counter band.
    std::string versionText;
    std::string simText;
    std::string userStand;
    std::string userAcTitle;
    bool connected = false;
    bool running = false;
    bool userAcKnown = true;
    bool authenticated = false;
    std::string serviceText;
    bool rtIdle = true;
    int weatherLamp = 3;
    int trafficLamp = 3;
    int qnh = 0;
    int liveCount = 0;
    int liveryCount = 0;
    int simaddonCount = 0;
    int thirdpartyCount = 0;
    std::uint64_t tbloFileCount = 0;

    // The settings and control states the labels follow.
    bool guidChanges = true;
    bool scanLiveries = false;
    bool scanAirports = false;
    bool autoRange = false;
    bool airborneOnly = false;
    bool straightPbsOnly = false;
    bool initialLoadOnly = false;
    bool parkTrafficOnly = false;
    int timeShiftDays = 0;
    int timeShiftHours = 0;
    int timeShiftMins = 0;
    int maxParkSel = 0;
    int maxLiveSel = 0;
    bool lightAircraftEnabled = true;
    bool helicoptersEnabled = true;
    bool highPerfEnabled = true;
    bool timeShiftDisplay = true;
    bool parkingBusy = false;
    int minutesToRenewal = 20;

    // State band.
    std::string parkAirport;
    bool standsShown = false;
    std::string standFilePublisher;
    std::string standFileAirportName;
    bool handmade = false;
    int week = 0;
    bool sMark = false;
    bool wMark = false;
    std::string qualityText;
    std::string reservedStand;
    bool reservedStandValid = false;
    int updates = 0;
    int stands = 0;
    int parkedLive = 0;
    float liveAverageFit = -1.0f;
    int staticCount = 0;
    int staticExtra = 0;
    float staticAverageFit = -1.0f;
    int maxPark = 0;
    int maxParkPercent = 0;

    StatusLineSnapshot status;
};

// The window's own values (window state, settings, status line); the values
// of the simulator link and the feed are left at their start values for the
// caller to fill.
DisplaySnapshot gf_windowDisplaySnapshot();

// The whole client area, in painting order.
DrawList gf_paintMainWindow(const DisplaySnapshot& s);
// The bands by themselves (the whole list calls them in order).
void lf_paintCounters(const DisplaySnapshot& s, DrawList& out);
void lf_paintLabels(const DisplaySnapshot& s, DrawList& out);
void lf_paintStateLines(const DisplaySnapshot& s, DrawList& out);
void lf_paintStatusBand(const StatusLineSnapshot& status, DrawList& out);

// "{:.1f}" with a fractional part, "{:.0f}" without.
std::string gf_averageFitText(float hours);

// Band rectangles (left, top, right, bottom).
struct BandRect {
    int left, top, right, bottom;
};
inline constexpr BandRect kHeaderBand{0, 0, 880, 28};
inline constexpr BandRect kCounterBand{0, 28, 880, 112};
inline constexpr BandRect kControlsBand{0, 112, 880, 392};
inline constexpr BandRect kStateBand{0, 392, 880, 448};
inline constexpr BandRect kStatusBand{0, 448, 880, 476};
