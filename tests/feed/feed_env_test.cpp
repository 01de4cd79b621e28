// What the feed takes from the rest of the program: the settings a run
// changes, and the service credential from the service's own licence file.
#include "core/exit_reason.h"
#include "core/port_missing.h"
#include "core/settings.h"
#include "feed/feed_env.h"
#include "feed/login.h"
#include "feed_test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>

namespace fs = std::filesystem;

namespace {

TEST(FeedSettingsFromCore, ReadsTheProgramsSettings) {
    gf_resetSettings();
    const FeedSettings before = gf_feedSettingsFromCore();
    EXPECT_FALSE(before.airborneOnly);
    EXPECT_EQ(before.blockCallsign, "");
    EXPECT_EQ(before.range_nm, 40.0);
    EXPECT_EQ(before.maxFit, 47);

    AIRBORNE_ONLY.setValue(true);
    BLOCK_CALLSIGN.setValue("KLM1234");
    RANGE.setValue(65);
    LIGHT_AIRCRAFT.setValue(false);
    HIGH_PERF_AIRCRAFT.setValue(false);
    HELICOPTERS.setValue(false);
    RT_PARKTRAFFIC_ONLY.setValue(true);
    MAX_FIT.setValue(5);
    const FeedSettings s = gf_feedSettingsFromCore();
    gf_resetSettings();

    EXPECT_TRUE(s.airborneOnly);
    EXPECT_EQ(s.blockCallsign, "KLM1234");
    EXPECT_EQ(s.range_nm, 65.0);
    EXPECT_FALSE(s.lightAircraft);
    EXPECT_FALSE(s.highPerfAircraft);
    EXPECT_FALSE(s.helicopters);
    EXPECT_TRUE(s.rtParkTrafficOnly);
    EXPECT_EQ(s.maxFit, 5);
    // The settings leave the airport fields to the airports: no airport, nothing reserved.
    EXPECT_FALSE(s.currentAirport.present);
    EXPECT_FALSE(s.airportFileAlt_ft);
}

// No environment installed: the feed has nothing to fall back on (no batch
// dropped, no QNH handed to nobody): the run stops with the line in Log.txt.
TEST(FeedEnvPort, LeftOutStopsTheRunWithALineInTheLog) {
    gf_resetExitReason();
    LogCapture log;
    EXPECT_THROW(gf_feedEnv(), PortNotInstalled);
    EXPECT_EQ(gf_exitReason(), ExitReason::systemError);
    EXPECT_NE(log.text().find("==> the live feed's environment used before the wiring installed it\n"),
              std::string::npos)
        << log.text();
    gf_resetExitReason();

    RecordingFeedEnv env;
    EXPECT_EQ(&gf_feedEnv(), &env);
    EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet);
}

class Credential : public ::testing::Test {
protected:
    void SetUp() override {
        m_appData = lf_env("GLIM_APPDATA");
        m_licence = lf_env("GLIM_RT_LICENSE");
        dir = fs::temp_directory_path() /
              ("feed_credential_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(dir / "InsideSystems");
        setTestEnv("GLIM_APPDATA", dir.string());
        setTestEnv("GLIM_RT_LICENSE", "");
    }
    void TearDown() override {
        setTestEnv("GLIM_APPDATA", m_appData.value_or(""));
        setTestEnv("GLIM_RT_LICENSE", m_licence.value_or(""));
        gf_resetRtCredential();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    std::string read() {
        gf_resetRtCredential();
        return gf_rtCredential();
    }

    fs::path dir;

private:
    static std::optional<std::string> lf_env(const char* name) {
        const char* value = std::getenv(name);
        if (!value) return std::nullopt;
        return std::string(value);
    }
    std::optional<std::string> m_appData;
    std::optional<std::string> m_licence;
};

TEST_F(Credential, ComesFromTheLicenceFileInAppDataOrTheOverride) {
    const fs::path file = dir / "InsideSystems" / "RealTraffic.lic";
    EXPECT_EQ(gf_rtLicensePath(), file);
    EXPECT_EQ(read(), "");  // no file

    struct Row {
        const char* content;
        const char* credential;
    };
    const Row rows[] = {
        {R"({"License": "a1&b=2+c%"})", "a1&b=2+c%"},
        {R"({"License": 12345})", ""},
        {R"({"Licence": "x"})", ""},
        {R"(["License", "x"])", ""},
        {"License=x", ""},
        {"", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.content);
        std::ofstream(file, std::ios::binary) << row.content;
        EXPECT_EQ(read(), row.credential);
    }

    std::ofstream(file, std::ios::binary) << R"({"License": "from-file"})";
    setTestEnv("GLIM_RT_LICENSE", "from-env");
    EXPECT_EQ(read(), "from-env");
    setTestEnv("GLIM_RT_LICENSE", "");
    EXPECT_EQ(read(), "from-file");
}

}  // namespace
