// The status line at the bottom of the main window, written by every thread.
//
// It shows a status text (yellow on lime green) or, in error mode, an error
// text (yellow on red). A status text clears itself 25 per-second ticks after
// it was set; an error text stays, and drops every status text set meanwhile,
// until one of its owners empties it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Shows text unless an error is shown (then the text is dropped for good).
// Stamps it with g_tickCount (at least 1; 0 for an empty text). Logs it when
// log is set, the text is not empty and no stop flag is raised.
void gf_setStatusLine(std::string_view text, bool log);
// gf_setStatusLine for a message whose owner renews it at a slower pace than
// 25 ticks: it clears itself life_ticks after it was set. The next text set
// lives 25 ticks again.
void gf_setLastingStatusLine(std::string_view text, bool log, std::int32_t life_ticks);
// gf_setStatusLine with an empty text: nothing is logged.
void gf_clearStatusLine();
// Clears the status text only while it is text: the message of a condition
// that ended goes, a text set since by another thread stays.
void gf_clearStatusLineIf(std::string_view text);
// Enters error mode with text (a later error replaces an earlier one) and
// logs "Error {}" unless a stop flag is raised.
void gf_setErrorLine(std::string_view text);

// Ends error mode: the error text becomes empty. For the owners that clear it
// (the install-path edit, the reset between runs and the closing down, the
// static-parking job).
void gf_emptyErrorText();
// The reset between runs: the status stamp returns to 0 (the text stays, no
// longer timed).
void gf_resetStatusStamp();
// The per-second check, right after it advanced g_tickCount: clears the status
// text once it has been shown for 25 ticks. Test and clear happen under one
// lock, so a text set by another thread in between is never cleared early.
void gf_clearStatusLineWhenDue();
// Everything back to the start of the process (both texts empty, stamp 0,
// no notice); for tests.
void gf_resetStatusLine();

// A notice about the settings file (damaged, put back, reset) that the user
// must not miss: it stays above the status and error texts, whatever follows,
// for the rest of the process. A later notice replaces it.
void gf_setSettingsNotice(std::string_view text);

// A notice about the park airport's stand files (entries not used, a
// damaged learned file kept aside) that the user must not miss: it stays on
// the notice line, after a settings notice, whatever the status line shows
// meanwhile, until the airport is left (an empty text). A later notice
// replaces it.
void gf_setAirportNotice(std::string_view text);

// Both texts and the stamp, copied under the status line's lock.
struct StatusLineSnapshot {
    std::string statusText;
    std::string errorText;
    std::int32_t stamp = 0;
    std::string notice;
    std::string airportNotice;
};
StatusLineSnapshot gf_statusLineSnapshot();

// How the paint handler draws the band.
struct BandColour {
    std::uint8_t r, g, b;
};
inline constexpr int kStatusBandLeft = 0;
inline constexpr int kStatusBandTop = 448;
inline constexpr int kStatusBandRight = 880;
inline constexpr int kStatusBandBottom = 476;
inline constexpr int kStatusTextX = 3;
inline constexpr int kStatusTextY = 455;
inline constexpr BandColour kStatusTextColour{255, 255, 0};
inline constexpr BandColour kStatusBandColour{50, 205, 50};
inline constexpr BandColour kErrorBandColour{255, 0, 0};

// With a settings or airport notice the band holds two lines: the notice on
// top, the status or error text below.
inline constexpr int kNoticeTextY = 450;
inline constexpr int kBelowNoticeTextY = 463;

struct StatusBandLook {
    BandColour fill{};
    // Drawn at (kStatusTextX, textY) in kStatusTextColour; nothing is drawn
    // when empty.
    std::string text;
    int textY = kStatusTextY;
    // Drawn at (kStatusTextX, kNoticeTextY) when not empty.
    std::string notice;
};
StatusBandLook gf_statusBandLook(const StatusLineSnapshot& snapshot);
