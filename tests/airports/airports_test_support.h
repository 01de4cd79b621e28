// The scratch working folder with an airport database, for the tests of the
// airports and stands.
#pragma once

#include "airports/airport_database.h"
#include "airports/airport_ports.h"
#include "airports/park_airport_state.h"
#include "airports/park_airports.h"
#include "airports/stand_file.h"
#include "core/data_key.h"
#include "core/ui_sink.h"
#include "stream_sealer.h"
#include "work_folder.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <string>

namespace airports_test {

// The <meta> element a stand file of the download site opens with.
inline std::string standFileMeta(const char* version = "11.10.5") {
    return fmt::format(R"(<meta><info name="version" value="{}"/><info name="copyright" value="c"/>)"
                       R"(<info name="sim" value="3"/></meta>)",
                       version);
}

// A relative path as the program writes it in Log.txt on this platform.
inline std::string nativePath(std::string path) {
#ifdef _WIN32
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
#endif
    return path;
}

// The airport side's neighbours as the tests choose them: no user aircraft
// until a test places one, a window that only repaints.
class FakeAirportPorts final : public AirportUserLink, public AirportWindow {
public:
    bool userStateKnown() override { return known; }
    LatLon userPosition() override { return position; }
    bool userOnGround() override { return onGround; }
    std::string userStand() override { return stand; }
    bool parkingControlsBusy() override { return false; }
    void applyAutoRange() override {}
    void applyParkTrafficOnly() override {}
    void updateNowButton() override {}
    void repaint() override { gf_repaintAll(); }

    void reset() {
        known = false;
        position = LatLon{0.0, 0.0};
        onGround = false;
        stand.clear();
    }

    bool known = false;
    LatLon position{0.0, 0.0};
    bool onGround = false;
    std::string stand;
};

// A working folder with an airport database and clean airport state.
class AirportsFixture : public WorkFolder {
protected:
    void SetUp() override {
        WorkFolder::SetUp();
        lf_resetAll();
    }
    void TearDown() override {
        lf_resetAll();
        WorkFolder::TearDown();
    }
    static void lf_resetAll() {
        gf_resetAirportDatabase();
        gf_resetParkAirportState();
        gf_resetParkAirports();
        ports().reset();
        gf_setAirportPorts(&ports(), &ports());
        gf_setStandRegistrationLookup({});
    }
    static FakeAirportPorts& ports() {
        static FakeAirportPorts fake;
        return fake;
    }
    // Seals the airports XML into input/airports.enc.
    static void writeDatabase(const std::string& xml) {
        encryptor::Key key;
        std::copy(g_dataFileKey.begin(), g_dataFileKey.end(), key.begin());
        writeFile("input/airports.enc", encryptor::encryptBytes(key, xml));
    }
    // A database of a few airports around Amsterdam and London.
    static void readSampleDatabase() {
        writeDatabase(R"(<root><airports>
            <airport code="EHAM" iata="AMS" lat="52.3086" lon="4.7639" alt="-11" stands="2"/>
            <airport code="EHLE" iata="LEY" lat="52.4603" lon="5.5272" alt="-13" stands="0"/>
            <airport code="EGLL" iata="LHR" lat="51.4706" lon="-0.4619" alt="83" stands="1"/>
            <airport code="EGLC" iata="LCY" lat="51.5053" lon="0.0553" alt="19" stands="1"/>
            <airport code="EHRD" iata="RTM" lat="51.9569" lon="4.4372" alt="-15"/>
          </airports></root>)");
        ASSERT_TRUE(gf_readAirports());
    }
    // Makes code the current airport as the traffic engine does.
    static void makeCurrent(const std::string& code) { ASSERT_TRUE(gf_logParkAirport(code)); }
};

}  // namespace airports_test
