// What the feed needs from the rest of the program, behind one port: a
// consistent copy of the settings and positions other threads change, the
// run control, the status line, the traffic engine's intake and QNH, the
// aircraft catalogue and the plain sleeps. The program's wiring installs the
// one implementation that reaches them all (src/app/wiring/feed_services);
// tests install a recording one. Every call is pure: a wiring that leaves one
// out does not compile, and there is no default environment to fall back on
// (a batch dropped or a QNH that never reaches the engine would go unseen).
#pragma once

#include "feed/feed_records.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct FeedAirport {
    bool present = false;
    double lat = 0.0;
    double lon = 0.0;
    double alt_ft = 0.0;
};

// One copy per answer of everything the parsers read from other threads.
// Settings keys: AIRBORNE_ONLY, BLOCK_CALLSIGN, RANGE, LIGHT_AIRCRAFT,
// HIGH_PERF_AIRCRAFT, HELICOPTERS, RT_PARKTRAFFIC_ONLY, MAX_FIT.
struct FeedSettings {
    bool airborneOnly = false;
    std::string blockCallsign;
    double range_nm = 40.0;
    bool lightAircraft = true;
    bool highPerfAircraft = true;
    bool helicopters = true;
    bool rtParkTrafficOnly = false;
    int maxFit = 47;
    // Owned by the airports, the static parking and the simulator link, which
    // the feed does not link: empty (no airport, nothing reserved) unless the
    // installed environment fills them.
    std::string reservedStand;     // the user's reserved stand of the park airport
    std::string userParkingSpot;   // the stand at the user aircraft's position
    FeedAirport currentAirport;    // the current airport of the static parking
    std::optional<double> airportFileAlt_ft;  // altitude of the loaded stand file
};

// The settings part of FeedSettings from the program's settings objects
// (AIRBORNE_ONLY, BLOCK_CALLSIGN, RANGE, ...); the text copied under its lock,
// so one answer sees one value. The airport fields stay empty.
FeedSettings gf_feedSettingsFromCore();

struct FeedDbaseRecord {
    std::string airl;
    std::string type;
    std::string opr;
};

// AcCategory numbering: Light 0, Buzjets 1, Large 2, Heavy 3, HighPerf 4,
// Rotorcraft 5.
enum class FeedCategory : int { light = 0, buzjets = 1, large = 2, heavy = 3, highPerf = 4, rotorcraft = 5 };

struct FeedUserPosition {
    double lat = 0.0;
    double lon = 0.0;
    double alt_ft = 0.0;
};

class FeedEnv {
public:
    virtual ~FeedEnv() = default;

    virtual FeedSettings settings() = 0;

    // Run control and window.
    virtual void stopWithError(std::string_view name, bool restart) = 0;
    virtual void setStatusLine(const std::string& text, bool log) = 0;
    virtual void clearStatusLine() = 0;
    // The lamps, the QNH and the authenticated mark painted again.
    virtual void repaint() = 0;

    // Traffic engine. takeTrafficBatch consumes the batch (leaves it empty).
    virtual void takeTrafficBatch(std::vector<FlightRecord>& batch, int delay_s) = 0;
    virtual void pushBlockedEvent(std::uint32_t hexid) = 0;
    virtual void publishEngineQnh(int qnh_hpa) = 0;

    // Aircraft catalogue.
    virtual std::optional<FeedDbaseRecord> lookupRegistration(std::string_view text) = 0;
    virtual std::vector<std::string> registrationKeys(std::string_view registration) = 0;
    virtual std::optional<FeedDbaseRecord> findRegistrationKey(std::string_view key) = 0;
    virtual bool isKnownAcType(std::string_view type) = 0;
    virtual FeedCategory acCategory(std::string_view type) = 0;

    // Positions of the user aircraft and the park airport.
    virtual FeedUserPosition userPosition() = 0;
    virtual std::optional<FeedAirport> parkAirport() = 0;

    // Plain (not interruptible) sleeps and the system time in epoch seconds.
    virtual void sleepMs(int ms) = 0;
    virtual std::int64_t systemTime() = 0;
};

// The environment installed; stops the run when there is none.
FeedEnv& gf_feedEnv();
// Installs an environment (nullptr uninstalls it). Not owned.
void gf_setFeedEnv(FeedEnv* env);
