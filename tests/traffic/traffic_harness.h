// The engine harness: a fresh working folder with a small Dbase and a set of
// installed liveries, the engine's state emptied, the fake simulator link in
// place, and helpers that build feed records, hand batches over and run
// traffic passes followed by one simulator frame each. Deterministic: the
// random generator is seeded and nothing waits on a clock.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "airports/stand_records.h"
#include "fakelink/fake_sim_link.h"
#include "feed/feed_records.h"
#include "traffic/live_ac.h"

// One position of a flight as the feed gives it.
struct Fix {
    double lat = 52.0;
    double lon = 4.0;
    double alt_ft = 5000.0;  // 0: on the ground
    double gs_kt = 250.0;
    double track_deg = 90.0;
    double feedTime = 1000.0;
};

// The demo airport's reference point.
inline constexpr double kDemoLat = 52.3086;
inline constexpr double kDemoLon = 4.7639;

class TrafficHarness : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A record of a live flight (airborne when alt_ft > 0).
    static FlightRecord record(std::uint32_t hexid, const std::string& callsign, const std::string& type,
                               const Fix& fix, const std::string& registration = {});
    // A straight flight of n records dt_s apart, eastbound.
    static std::vector<FlightRecord> flight(std::uint32_t hexid, const std::string& callsign,
                                            const std::string& type, Fix first, int n, double dt_s);
    // A batch through the feed's door (30: a live poll, else a snapshot).
    static void takeBatch(std::vector<FlightRecord> batch, int delay_s);
    // n traffic passes, each followed by one simulator frame.
    void run(int passes);
    // Passes until the aircraft with that hexid is active (at most limit).
    bool runUntilActive(std::uint32_t hexid, int limit = 2000);
    // Log.txt so far.
    std::string logText();
    // Puts a stand list in place at a park airport around (lat, lon).
    static void useParkAirport(double lat, double lon, double alt_ft = 0.0);
    // The demo airport's stands (the stand-in site's EHAM.xml) as its park
    // airport's stand list.
    static void loadDemoAirport();
    static Stand& addStand(const std::string& name, double lat, double lon, double radius_m, bool heli = false);

    FakeSimLink sim;
    std::filesystem::path folder;

private:
    std::filesystem::path m_previous;
};

LiveAc* liveAc(std::uint32_t hexid);
