// The start-up reading's own rules: the simulator's install path from the
// registry, the version from the path, the working folders and the saved
// time shift.
#include "run_test_support.h"

#include "app/window_services.h"

#include "core/registry.h"
#include "core/user_error.h"

#include <map>
#include <optional>

namespace run_test {
namespace {

// The two Prepar3D keys with their SetupPath values, nothing else.
class FakeRegistry final : public RegistryReader {
public:
    std::map<std::wstring, std::optional<std::wstring>> setupPaths;  // key -> SetupPath (none: key without value)

    long openMachineKey(std::wstring_view subKey, RegHandle& key) override {
        const auto found = setupPaths.find(std::wstring(subKey));
        if (found == setupPaths.end()) return kRegFileNotFound;
        m_open[++m_next] = found->first;
        key = m_next;
        return kRegSuccess;
    }
    void closeKey(RegHandle key) override { m_open.erase(key); }
    long queryValue(RegHandle key, std::wstring_view name, std::uint32_t& type, unsigned char* data,
                    std::uint32_t& size) override {
        const auto open = m_open.find(key);
        if (open == m_open.end() || name != L"SetupPath") return kRegFileNotFound;
        const auto& value = setupPaths[open->second];
        if (!value) return kRegFileNotFound;
        type = kRegTypeSz;
        std::vector<unsigned char> bytes;
        for (wchar_t c : *value) {
            bytes.push_back(static_cast<unsigned char>(c & 0xFF));
            bytes.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
        }
        bytes.insert(bytes.end(), {0, 0});
        const auto needed = static_cast<std::uint32_t>(bytes.size());
        if (!data) {
            size = needed;
            return kRegSuccess;
        }
        if (size < needed) {
            size = needed;
            return kRegMoreData;
        }
        std::copy(bytes.begin(), bytes.end(), data);
        size = needed;
        return kRegSuccess;
    }

private:
    std::map<RegHandle, std::wstring> m_open;
    RegHandle m_next = 100;
};

class StartupReadingTest : public RunFixture {
protected:
    void TearDown() override {
        gf_setRegistryReader(nullptr);
        RunFixture::TearDown();
    }

    // The user error's text, empty when nothing was thrown.
    static std::string errorOf(const std::function<void()>& call) {
        try {
            call();
        } catch (const ozr::UserErrorException& e) {
            return e.what();
        }
        return {};
    }
};

struct DetectionCase {
    const char* name;
    std::optional<std::wstring> v5;  // SetupPath of v5; nullopt with v5Key: key without value
    bool v5Key;
    std::optional<std::wstring> v6;
    bool v6Key;
    bool liveryFolder;
    const char* error;  // the user error's code prefix, empty for none
    const char* storedPath;
    const char* logLine;
};

TEST_F(StartupReadingTest, SimulatorDetectionTable) {
    const std::vector<DetectionCase> cases{
        {"v5 only", L"C:\\P3D v5\\", true, std::nullopt, false, false, "", "C:\\P3D v5\\", "P3Dv5 detected"},
        {"v6 only", std::nullopt, false, L"D:\\Prepar3D v6\\", true, false, "", "D:\\Prepar3D v6\\",
         "P3Dv6 detected"},
        {"both", L"C:\\P3D v5\\", true, L"D:\\P3D v6\\", true, false, "153: ", "", ""},
        {"none", std::nullopt, false, std::nullopt, false, false, "151: ", "", "P3D not detected?"},
        {"none, livery folder set", std::nullopt, false, std::nullopt, false, true, "", "", "P3D not detected?"},
        {"key without path", std::nullopt, true, std::nullopt, false, false, "151: ", "", "P3Dv5 detected"},
    };
    for (const DetectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRegistry registry;
        if (c.v5Key) registry.setupPaths[gf_p3dRegistryKey(5)] = c.v5;
        if (c.v6Key) registry.setupPaths[gf_p3dRegistryKey(6)] = c.v6;
        gf_setRegistryReader(&registry);
        gf_findInstalledSimulators();
        SIM_INSTALL_PATH.setValue("");
        ALL_INSTALL_PATH.setValue("");
        lfolder[0].setValue(c.liveryFolder ? "C:\\Liveries" : "");
        g_installPathError = false;
        fs::remove(gf_parametersPath());

        const std::string error = errorOf(lf_detectSimulator);
        EXPECT_EQ(error.substr(0, std::string(c.error).size()), c.error);
        EXPECT_EQ(error.empty(), std::string(c.error).empty());
        EXPECT_EQ(g_installPathError.load(), !error.empty());
        EXPECT_EQ(SIM_INSTALL_PATH.get(), c.storedPath);
        EXPECT_EQ(ALL_INSTALL_PATH.get(), c.storedPath);
        if (*c.storedPath) {
            EXPECT_NE(parametersFile().find(std::string("value=\"") + c.storedPath + "\""), std::string::npos);
        }
        if (*c.logLine) {
            EXPECT_NE(log().find(c.logLine), std::string::npos);
        }
        gf_setRegistryReader(nullptr);
    }
}

TEST_F(StartupReadingTest, SimulatorVersionFromTheInstallPath) {
    const std::vector<std::pair<const char*, const char*>> cases{
        {"C:\\Lockheed Martin\\Prepar3D v6", "6"},
        {"C:\\Lockheed Martin\\Prepar3D V5", "5"},
        {"C:\\P3D v5 and v6", "5"},
        // The installation's own folder decides, not a folder above it.
        {"Z:\\tmp\\tmp.Yav5UTAdby\\sim\\Lockheed Martin\\Prepar3D v6\\", "6"},
        {"D:\\v6 sims\\Prepar3D V5", "5"},
        {"E:\\Sim", "5"},  // P3D_VERSION's 5
    };
    for (const auto& [path, version] : cases) {
        SIM_INSTALL_PATH.setValue(path);
        EXPECT_EQ(gf_simVersionFromPath(), version) << path;
    }
    SIM_INSTALL_PATH.setValue("E:\\Sim");
    P3D_VERSION.setValue(6);
    EXPECT_EQ(gf_simVersionFromPath(), "6");
}

TEST_F(StartupReadingTest, StaleRegcodeCopiesAreRemovedAndFoldersMade) {
    fs::create_directories("input");
    writeFile("input/AIG-regcodes0.xml", "old");
    writeFile("input/AIG-regcodes00.xml", "older");
    writeFile("input/AIG-regcodes.xml", "current");
    lf_prepareAirportsFolder();
    EXPECT_FALSE(fs::exists("input/AIG-regcodes0.xml"));
    EXPECT_FALSE(fs::exists("input/AIG-regcodes00.xml"));
    EXPECT_TRUE(fs::exists("input/AIG-regcodes.xml"));
    EXPECT_TRUE(fs::is_directory("airports/learned/thirdparty"));
    EXPECT_TRUE(fs::is_directory("output/errors"));
}

TEST_F(StartupReadingTest, SavedTimeShiftIsAppliedAtStart) {
    TIME_SHIFT_DAYS.setValue(1);
    TIME_SHIFT_HOURS.setValue(2);
    TIME_SHIFT_MINS.setValue(30);
    lf_startupReading();
    EXPECT_EQ(world.timeShifts, std::vector<int>{(24 + 2) * 60 + 30});
    // Quiet: a loud shift would take all traffic away and announce a static
    // update before the run has any.
    EXPECT_EQ(world.timeShiftsQuiet, std::vector<bool>{true});
    EXPECT_TRUE(sink.has("enable " + std::to_string(TIME_SHIFT_MINS.controlId()) + " 1"));
    EXPECT_TRUE(sink.has("enable " + std::to_string(KEEP_SIM_TIME_PAR.controlId()) + " 1"));

    // With SIM_TIME on the simulator's clock decides instead.
    world.timeShifts.clear();
    SIM_TIME.setValue(true);
    bool applied = false;
    world.replaced.applySimTime = [&] {
        applied = true;
        gf_applySimTime(true);
    };
    lf_startupReading();
    EXPECT_TRUE(applied);
    EXPECT_TRUE(world.timeShifts.empty());
    // A shift picked by hand would be overwritten at the next second: the
    // combos stay disabled, the two boxes usable.
    for (const ControlBinding* b : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS})
        EXPECT_FALSE(sink.controlEnabled(b->controlId())) << b->controlId();
    EXPECT_TRUE(sink.controlEnabled(SIM_TIME.controlId()));
    EXPECT_TRUE(sink.controlEnabled(KEEP_SIM_TIME_PAR.controlId()));
}

// A first start without the download site: the missing data file is waited
// for and the site asked again, instead of ending with "... not available";
// a file that is there but unreadable keeps its error.
TEST_F(StartupReadingTest, AMissingDataFileWaitsForTheSite) {
    const fs::path dbase = gf_workPaths().dbaseEnc;
    fs::remove(dbase);
    world.replaced.readDbase = [&]() -> bool {
        if (!fs::exists(dbase)) throw std::runtime_error(dbase.string() + " not available");
        return true;
    };
    world.replaced.siteDelivers = [&] { writeFile(dbase, "sealed"); };
    world.calls.clear();
    lf_startupReading();
    EXPECT_EQ(world.count("waitForDownloadSite dbase.enc"), 1u);
    EXPECT_EQ(world.count("readDbase"), 2u);
    EXPECT_EQ(world.count("checkForUpdates"), 2u);
    EXPECT_EQ(world.count("readAirports"), 1u);

    // There, but unreadable: no waiting, the error stands.
    g_dataFilesRead = false;
    world.calls.clear();
    world.replaced.readDbase = []() -> bool { throw std::runtime_error("stream decrypt failed"); };
    EXPECT_THROW(lf_startupReading(), std::runtime_error);
    EXPECT_EQ(world.count("waitForDownloadSite dbase.enc"), 0u);
}

}  // namespace
}  // namespace run_test
