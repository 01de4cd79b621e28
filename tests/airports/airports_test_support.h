// A scratch working folder with the log in it and every setting at its
// default, for the tests of the airports and stands.
#pragma once

#include "airports/airport_database.h"
#include "airports/airport_hooks.h"
#include "airports/park_airport_state.h"
#include "airports/park_airports.h"
#include "airports/stand_file.h"
#include "core/data_key.h"
#include "core/log.h"
#include "core/settings.h"
#include "stream_sealer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace airports_test {

namespace fs = std::filesystem;

// A relative path as the program writes it in Log.txt on this platform.
inline std::string nativePath(std::string path) {
#ifdef _WIN32
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
#endif
    return path;
}

class WorkFolder : public ::testing::Test {
protected:
    void SetUp() override {
        m_previous = fs::current_path();
        static int counter = 0;
        m_folder = fs::temp_directory_path() /
                   ("glim_airports_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                    std::to_string(++counter));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        fs::current_path(m_folder);
        gf_logOpen(m_folder / "Log.txt");
        gf_resetSettings();
    }
    void TearDown() override {
        gf_logClose();
        fs::current_path(m_previous);
        std::error_code ec;
        fs::remove_all(m_folder, ec);
        gf_resetSettings();
    }
    std::string log() {
        gf_logFlush();
        return readFile(m_folder / "Log.txt");
    }
    static std::string readFile(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void writeFile(const fs::path& path, const std::string& text) {
        if (path.has_parent_path()) fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    fs::path m_folder;
    fs::path m_previous;
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
        gf_setAirportHooks(AirportHooks{});
        gf_setStandRegistrationLookup({});
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
