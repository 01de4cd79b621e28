// The update check against the stand-in download site: data files, scan
// versions, a new program version, and the ways the site or its files can
// be wrong.
#include "ui/self_update.h"

#include "core/data_key.h"
#include "core/download.h"
#include "support/test_env.h"
#include "core/exit_reason.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/run_flags.h"
#include "core/settings.h"
#include "core/shell.h"
#include "core/sitestub_process.h"
#include "core/zip_archive.h"
#include "stream_sealer.h"
#include "core/status_line.h"
#include "core/steady_clock.h"
#include "core/ui_sink.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kAdmin = kInstallerAdminText;
constexpr const char* kNormal = kInstallerNormalText;
constexpr const char* kUnzipFailed =
    "The downloading/unzipping of the new version failed? Try manually via the Varndolin website.";

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const fs::path& p, const std::string& bytes) {
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string encrypted(const std::string& plain) {
    encryptor::Key key;
    std::copy(g_dataFileKey.begin(), g_dataFileKey.end(), key.begin());
    return encryptor::encryptBytes(key, plain);
}

// An installer archive as the site offers it, built with the program's own
// zip wrapper.
std::string zipWithEntries(const std::vector<std::pair<std::string, std::string>>& entries, const fs::path& scratch) {
    ZipArchive archive;
    if (!archive.openNew(scratch)) return {};
    for (const auto& [name, content] : entries) {
        if (!archive.addData(name, content)) return {};
    }
    if (!archive.close()) return {};
    std::string bytes = readAll(scratch);
    fs::remove(scratch);
    return bytes;
}

std::string zipWith(const std::string& entryName, const std::string& content, const fs::path& scratch) {
    return zipWithEntries({{entryName, content}}, scratch);
}

// Bytes that do not compress, so they stand in the archive as they are and a
// test can find and damage them.
std::string randomBytes(std::size_t count) {
    std::mt19937 rng(19);
    std::string bytes(count, '\0');
    for (auto& b : bytes) b = static_cast<char>(rng() & 0xFF);
    return bytes;
}

// An index with these keys and "major.minor.patch" versions.
std::string indexWith(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string text;
    for (const auto& [key, version] : entries) {
        const VersionData v(version);
        text += fmt::format(",\"{}\":{{\"major\":{},\"minor\":{},\"patch\":{}}}", key, v.major, v.minor, v.patch);
    }
    return "{" + text.substr(text.empty() ? 0 : 1) + "}";
}

const std::string kStalledZip = "setup_GLIM_P3D_d_v11.10.7.zip";

// Records the check boxes ticked, the controls band repainted and the
// message boxes shown (all from the calling thread).
class RecordingUi final : public UiSink {
public:
    void enableControl(int, bool) override {}
    void setCheck(int id, bool checked) override { calls.push_back(fmt::format("check {} {}", id, checked)); }
    void fillCombo(int, const std::vector<std::string>&, int) override {}
    void selectCombo(int, int) override {}
    void setText(int, const std::string&) override {}
    void invalidateBand(UiBand band) override {
        if (band == UiBand::controls) calls.push_back("repaint controls");
    }
    bool controlEnabled(int) override { return true; }
    int messageBox(const std::string& text, const std::string& caption, unsigned flags) override {
        calls.push_back(fmt::format("box {}: {} {}", caption, text, flags));
        return 1;
    }
    bool has(const std::string& call) const { return std::find(calls.begin(), calls.end(), call) != calls.end(); }

    std::vector<std::string> calls;
};

// Each test works in a folder of its own, which is also the working folder,
// and a stand-in site serving dir/site. The site base is its "downloads/".
class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / (std::string("glim_update_") + info->name() + "_" +
                                           std::to_string(std::random_device{}()));
        fs::create_directories(dir);
        oldWorkDir = fs::current_path();
        fs::current_path(dir);
        setTestEnv("GLIM_APPDATA", (dir / "appdata").string());
        gf_rebuildAppPaths();
        fs::create_directories(gf_appFolderPath());
        gf_resetSettings();
        gf_resetRunFlags();
        gf_resetExitReason();
        gf_resetStatusLine();
        ASSERT_TRUE(gf_logOpen(dir / "Log.txt"));
        gf_setUiSink(&ui);
        gf_setShellOpener([this](const fs::path& folder) {
            openedFolder = folder;
            return openerResult;
        });
        site = dir / "site" / "downloads";
        fs::create_directories(site);
        std::string whyNot;
        stub = SiteStubProcess::start(dir / "site", {"--stall", "downloads/release/" + kStalledZip}, whyNot);
        if (!stub) GTEST_SKIP() << whyNot;
        setTestEnv("GLIM_SITE_BASE_URL", stub->baseUrl() + "downloads/");
    }
    void TearDown() override {
        stub.reset();
        gf_resetDownloadLimits();
        setTestEnv("GLIM_SITE_BASE_URL", "");
        gf_setShellOpener(nullptr);
        gf_setUiSink(nullptr);
        gf_logClose();
        gf_resetSettings();
        gf_resetRunFlags();
        gf_resetExitReason();
        gf_resetStatusLine();
        fs::current_path(oldWorkDir);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string log() {
        gf_logFlush();
        return readAll(dir / "Log.txt");
    }
    bool logged(const std::string& line) { return log().find(line) != std::string::npos; }
    void serve(const std::string& name, const std::string& bytes) { writeFile(site / name, bytes); }
    // The site served anew, with these misbehaving files.
    void restartSite(const std::vector<std::string>& switches) {
        stub.reset();
        std::string whyNot;
        stub = SiteStubProcess::start(dir / "site", switches, whyNot);
        ASSERT_TRUE(stub) << whyNot;
        setTestEnv("GLIM_SITE_BASE_URL", stub->baseUrl() + "downloads/");
    }
    std::string statusText() { return gf_statusLineSnapshot().statusText; }
    void unserve(const std::string& name) { fs::remove(site / name); }

    fs::path dir;
    fs::path oldWorkDir;
    fs::path site;
    std::unique_ptr<SiteStubProcess> stub;
    RecordingUi ui;
    fs::path openedFolder;
    bool openerResult = true;
};

// ---- Data files ----

StringParameter& versionSetting(const std::string& key) {
    if (key == "airports") return AIRPORTS_VERSION;
    if (key == "aig") return AIG_VERSION;
    return DBASE_VERSION;
}
std::string dataFileName(const std::string& key) {
    if (key == "airports") return "airports.enc";
    if (key == "aig") return "AIG-regcodes.enc";
    return "dbase.enc";
}

TEST_F(UpdateTest, DataFilesAreFetchedWhenNewerOrMissingAndOnlyWhole) {
    const struct {
        const char* what;
        const char* key;
        const char* stored;       // the version setting before
        const char* web;          // the index's version
        bool localFile;           // the data file exists before
        const char* served;       // "good", "none" (404) or "garbage"
        bool replaced;            // the data file holds the served one after
        const char* storedAfter;  // the version setting after
        const char* logLine;
    } rows[] = {
        {"up to date", "airports", "2.0.0", "2.0.0", true, "good", false, "2.0.0", "airports version up-to-date"},
        {"newer", "airports", "2.0.0", "2.1.0", true, "good", true, "2.1.0", "airports updated to 2.1.0"},
        {"major counts first", "aig", "11.10.5", "12.0.0", true, "good", true, "12.0.0", "aig updated to 12.0.0"},
        {"older minor, higher patch", "aig", "11.10.0", "11.9.99", true, "good", false, "11.10.0",
         "aig version up-to-date"},
        {"same version, file deleted", "dbase", "3.0.0", "3.0.0", false, "good", true, "3.0.0", "dbase updated to 3.0.0"},
        {"empty setting", "dbase", "", "0.0.1", true, "good", true, "0.0.1", "dbase updated to 0.0.1"},
        {"404 keeps the old file", "airports", "2.0.0", "3.0.0", true, "none", false, "2.0.0", "failed !"},
        {"undecryptable download keeps the old file", "dbase", "2.0.0", "3.0.0", true, "garbage", false, "2.0.0",
         "Downloaded dbase.enc cannot be decrypted"},
    };
    const std::string oldContent = encrypted("<root>old</root>");
    const std::string newContent = encrypted("<root>new</root>");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string file = dataFileName(row.key);
        const fs::path local = fs::path("input") / file;
        fs::remove_all("input");
        if (row.localFile) writeFile(local, oldContent);
        versionSetting(row.key).setValue(row.stored);
        serve("versions.json", indexWith({{"p3d", "11.10.5"}, {row.key, row.web}}));
        unserve("11/" + file);
        if (std::string(row.served) == "good") serve("11/" + file, newContent);
        if (std::string(row.served) == "garbage") serve("11/" + file, "<html>Moved</html>");

        EXPECT_TRUE(gf_checkForUpdates());
        EXPECT_TRUE(logged(row.logLine)) << log();
        EXPECT_TRUE(logged("p3d version up-to-date\n"));
        EXPECT_EQ(versionSetting(row.key).get(), row.storedAfter);
        if (row.replaced) {
            EXPECT_EQ(readAll(local), newContent);
        } else if (row.localFile) {
            EXPECT_EQ(readAll(local), oldContent);
        }
        EXPECT_FALSE(fs::exists(fs::path(local) += ".part"));
        EXPECT_FALSE(fs::exists("versions.json"));
        EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet);
    }
}

TEST_F(UpdateTest, NewerScanVersionsTurnTheirScansOn) {
    const struct {
        const char* what;
        const char* key;
        const char* stored;
        const char* web;
        bool scanOutputExists;
        bool turnedOn;
    } rows[] = {
        {"livery rules newer", "liveries", "1.0.0", "1.0.1", true, true},
        {"livery rules same", "liveries", "1.0.1", "1.0.1", true, false},
        {"scan output missing", "liveries", "1.0.1", "1.0.1", false, true},
        {"add-on rules newer", "addons", "", "1.0.0", true, true},
        {"add-on rules same, no file looked at", "addons", "1.0.0", "1.0.0", false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const bool liveries = std::string(row.key) == "liveries";
        CheckBoxParameter& flag = liveries ? SCAN_LIVERIES : SCAN_AIRPORTS;
        StringParameter& setting = liveries ? LIV_SCAN_VERSION : ADDONS_SCAN_VERSION;
        flag.setValue(false);
        setting.setValue(row.stored);
        ui.calls.clear();
        fs::remove_all("output");
        if (row.scanOutputExists) writeFile("output/LiveriesScanned.xml", "<root/>");
        serve("versions.json", indexWith({{row.key, row.web}}));

        EXPECT_TRUE(gf_checkForUpdates());
        EXPECT_EQ(flag.value(), row.turnedOn);
        EXPECT_EQ(ui.has(fmt::format("check {} true", flag.controlId())), row.turnedOn);
        EXPECT_EQ(ui.has("repaint controls"), row.turnedOn);
        EXPECT_EQ(setting.get(), row.web);
        if (row.turnedOn) {
            EXPECT_TRUE(logged(std::string(row.key) + " updated to " + row.web)) << log();
            EXPECT_NE(readAll(gf_parametersPath()).find("name=\"" + flag.name() + "\" value=\"true\""),
                      std::string::npos);
        }
    }
}

// A bad index is reported and the run goes on; a bad entry costs only itself.
TEST_F(UpdateTest, MissingOrMalformedIndexIsReportedAndTheRunGoesOn) {
    const auto p3d = [](const std::string& entry) {
        return "{\"p3d\":" + entry + ",\"airports\":{\"major\":9,\"minor\":0,\"patch\":0}}";
    };
    const std::string unreadable = "versions.json is not readable";
    const std::string badEntry = "\"p3d\" has no integer major";
    const struct {
        const char* what;
        std::string index;  // empty: not on the site
        bool airportsFetched;
        std::string logLine;
    } rows[] = {
        {"not on the site", "", false, "==> Downloading version info from my web site failed!\n"},
        {"not JSON", "p3d=11.10.6", false, unreadable},
        {"an HTML page", "<html><body>Site moved</body></html>", false, unreadable},
        {"cut off", "{\"p3d\":{\"major\":11,", false, unreadable},
        {"not an object", "[1,2,3]", false, "p3d version not found"},
        {"member missing", p3d("{\"major\":12,\"minor\":0}"), true, badEntry},
        {"member a text", p3d("{\"major\":\"12\",\"minor\":0,\"patch\":0}"), true, badEntry},
        {"member a fraction", p3d("{\"major\":12.5,\"minor\":0,\"patch\":0}"), true, badEntry},
        {"member beyond 32 bits", p3d("{\"major\":4294967307,\"minor\":0,\"patch\":0}"), true, badEntry},
        {"entry not an object", p3d("\"12.0.0\""), true, badEntry},
        // Hostile indexes are refused whole before the JSON library builds
        // anything for them.
        {"nested 100 deep", p3d(std::string(100, '[') + std::string(100, ']')), false,
         "versions.json is not readable, no update check: versions.json nested deeper than 64 levels"},
        {"beyond the size cap", p3d("{\"major\":12,\"minor\":0,\"patch\":0},\"pad\":\"" + std::string(1 << 20, 'x') + "\""),
         false, "Download error: 'Maximum file size exceeded' for "},
    };
    serve("11/airports.enc", encrypted("<root/>"));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all("input");
        unserve("versions.json");
        if (!row.index.empty()) serve("versions.json", row.index);
        EXPECT_TRUE(gf_checkForUpdates());
        EXPECT_TRUE(logged(row.logLine)) << log();
        EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet);
        EXPECT_EQ(fs::exists("input/airports.enc"), row.airportsFetched);
        EXPECT_FALSE(fs::exists("versions.json"));
    }
}

// A first start whose site cannot be reached (no internet, a firewall) or
// does not deliver has no data files to run with: the wait says what to
// check and where the site is, counts down, and ends when the user closes.
TEST_F(UpdateTest, TheWaitForTheSiteSaysWhatToCheck) {
    VirtualSteadyClock clock;
    gf_setSteadyClock(&clock);
    const fs::path dbase = fs::path("input") / "dbase.enc";
    std::vector<std::string> shown;
    clock.onAdvance = [&] {
        if (shown.empty() || shown.back() != statusText()) shown.push_back(statusText());
    };
    setTestEnv("GLIM_SITE_BASE_URL", "http://127.0.0.1:1/downloads/");
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_TRUE(gf_waitForDownloadSite(dbase, true));
    EXPECT_TRUE(logged("Waiting for the download site http://127.0.0.1:1/downloads/: the download site could not "
                       "be reached (")) << log();
    EXPECT_TRUE(logged("Check the internet connection and that no firewall or proxy blocks glim_p3d.exe"));
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), "No download site: check internet and firewall (Manual 1.6), next try in 30 s");
    EXPECT_EQ(statusText(), "Trying the download site again ...");

    // Reached, but the file did not come.
    setTestEnv("GLIM_SITE_BASE_URL", stub->baseUrl() + "downloads/");
    serve("versions.json", indexWith({{"p3d", "11.10.5"}, {"dbase", "1.0.0"}}));
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_TRUE(gf_waitForDownloadSite(dbase, true));
    EXPECT_TRUE(logged("the download site did not deliver ")) << log();

    // Closing the window ends the wait at once.
    clock.onAdvance = [] { g_userClosing = true; };
    EXPECT_FALSE(gf_waitForDownloadSite(dbase, false));
    EXPECT_LT(clock.elapsed(), std::chrono::seconds(2 * kSiteRetry_s + 2));
    gf_setSteadyClock(nullptr);
}

// A slow or lying site: the index is given up on time, or refused while it
// comes, and the start-up goes on with the files at hand; the status line
// tells the user. Overall limit lowered to 1 s here; the program's own is a
// minute for the index.
TEST_F(UpdateTest, ASlowOrOversizedIndexEndsTheCheckOnTimeAndSaysSo) {
    const struct {
        const char* what;
        std::vector<std::string> switches;
        const char* reason;
    } rows[] = {
        {"150 bytes a second, no length announced",
         {"--trickle", "downloads/versions.json", "--unsized", "downloads/versions.json"}, "took longer than 1 s"},
        {"150 bytes a second, 10 MB announced",
         {"--trickle", "downloads/versions.json", "--claim", "downloads/versions.json"}, "Maximum file size exceeded"},
        {"10 MB at full speed, no length announced", {"--unsized", "downloads/versions.json"},
         "larger than 1048576 bytes"},
    };
    const std::string oldDbase = encrypted("<root>old</root>");
    serve("versions.json", indexWith({{"p3d", "11.10.5"}, {"dbase", "9.0.0"}}));
    serve("11/dbase.enc", encrypted("<root>new</root>"));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        restartSite(row.switches);
        gf_setDownloadLimits({20, 100, 30, std::uint64_t{512} << 20, 1});
        gf_resetStatusLine();
        writeFile("input/dbase.enc", oldDbase);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(gf_checkForUpdates());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_TRUE(logged(std::string("Download error: '") + row.reason + "' for ")) << log();
        EXPECT_TRUE(logged("==> Downloading version info from my web site failed!\n"));
        EXPECT_EQ(statusText(), std::string("No update check (versions.json from the download site: ") + row.reason +
                                    "), going on with the files at hand");
        EXPECT_EQ(readAll("input/dbase.enc"), oldDbase);
        EXPECT_FALSE(fs::exists("versions.json"));
        EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet);
    }
}

// A slow data file is given up on time; the old file stays and the user is
// told. The data files after it wait for the next start rather than take
// their own minute each.
TEST_F(UpdateTest, ASlowDataFileEndsOnTimeAndTheOthersWait) {
    serve("versions.json", indexWith({{"aig", "9.0.0"}, {"dbase", "9.0.0"}}));
    serve("11/AIG-regcodes.enc", encrypted("<root>new</root>") + std::string(100000, ' '));
    serve("11/dbase.enc", encrypted("<root>new</root>"));
    restartSite({"--trickle", "downloads/11/AIG-regcodes.enc", "--trickle", "downloads/11/dbase.enc"});
    gf_setDownloadLimits({20, 100, 30, std::uint64_t{512} << 20, 1});
    const std::string oldAig = encrypted("<root>old aig</root>");
    const std::string oldDbase = encrypted("<root>old</root>");
    writeFile("input/AIG-regcodes.enc", oldAig);
    writeFile("input/dbase.enc", oldDbase);
    AIG_VERSION.setValue("8.0.0");
    DBASE_VERSION.setValue("8.0.0");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(statusText(),
              "Downloading AIG-regcodes.enc failed (took longer than 1 s), going on with the file at hand");
    EXPECT_TRUE(logged("==> dbase: the download site is too slow, dbase.enc waits for the next start\n")) << log();
    EXPECT_FALSE(logged("dbase.enc' failed"));
    EXPECT_EQ(readAll("input/AIG-regcodes.enc"), oldAig);
    EXPECT_EQ(readAll("input/dbase.enc"), oldDbase);
    EXPECT_EQ(AIG_VERSION.get(), "8.0.0");
    EXPECT_EQ(DBASE_VERSION.get(), "8.0.0");
    EXPECT_FALSE(fs::exists("input/AIG-regcodes.enc.part"));
}

// A data file that cannot be read counts as missing, whatever its version
// setting says: it is downloaded again and the damaged one kept aside, never
// deleted, and it takes the place of the damaged one only whole.
TEST_F(UpdateTest, ADamagedDataFileIsDownloadedAgainAndKeptAside) {
    const std::string good = encrypted("<root>" + std::string(9000, 'a') + "</root>");
    // Cut at a chunk's end: each chunk before authenticates, only the final
    // tag is missing.
    const std::string truncated = good.substr(0, 24 + 4113);
    std::string flipped = good;
    flipped[100] ^= 0x01;
    const std::string fresh = encrypted("<root>fresh</root>");
    const struct {
        const char* what;
        const char* key;
        std::string local;
        const char* served;      // "good", "none" or "garbage"
        bool earlierKept;        // a .damaged file of an earlier start is there
        bool replaced;
        const char* keptAs;      // where the damaged file is afterwards
        const char* status;      // after the data file's path
    } rows[] = {
        {"cut off dbase", "dbase", truncated, "good", false, true, "dbase.enc.damaged",
         " was damaged: downloaded again, the damaged file is kept as dbase.enc.damaged"},
        {"a flipped byte in airports", "airports", flipped, "good", false, true, "airports.enc.damaged",
         " was damaged: downloaded again, the damaged file is kept as airports.enc.damaged"},
        {"shorter than its header", "aig", "abc", "good", false, true, "AIG-regcodes.enc.damaged",
         " was damaged: downloaded again, the damaged file is kept as AIG-regcodes.enc.damaged"},
        {"an earlier damaged copy stays", "dbase", truncated, "good", true, true, "dbase.enc.damaged2",
         " was damaged: downloaded again, the damaged file is kept as dbase.enc.damaged2"},
        {"site has no file", "dbase", truncated, "none", false, false, "dbase.enc",
         " is damaged and could not be downloaded again (HTTP response code said error); the next start tries "
         "again"},
        {"download damaged too", "dbase", truncated, "garbage", false, false, "dbase.enc",
         " is damaged and could not be downloaded again (the downloaded file cannot be decrypted); the next start "
         "tries again"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        gf_resetStatusLine();
        gf_logClose();
        fs::remove(dir / "Log.txt");
        ASSERT_TRUE(gf_logOpen(dir / "Log.txt"));
        const std::string file = dataFileName(row.key);
        fs::remove_all("input");
        writeFile(fs::path("input") / file, row.local);
        if (row.earlierKept) writeFile(fs::path("input") / (file + ".damaged"), "earlier");
        versionSetting(row.key).setValue("3.0.0");
        serve("versions.json", indexWith({{row.key, "3.0.0"}}));
        unserve("11/" + file);
        if (std::string(row.served) == "good") serve("11/" + file, fresh);
        if (std::string(row.served) == "garbage") serve("11/" + file, truncated);

        EXPECT_TRUE(gf_checkForUpdates());
        const std::string path = (fs::path("input") / file).string();
        EXPECT_TRUE(logged(path + " cannot be read (")) << log();
        EXPECT_FALSE(logged(std::string(row.key) + " version up-to-date"));
        EXPECT_EQ(statusText(), path + row.status);
        EXPECT_EQ(readAll(fs::path("input") / row.keptAs), row.local);
        EXPECT_EQ(readAll(fs::path("input") / file), row.replaced ? fresh : row.local);
        EXPECT_EQ(logged(std::string(row.key) + " updated to 3.0.0"), row.replaced);
        if (row.earlierKept) {
            EXPECT_EQ(readAll(fs::path("input") / (file + ".damaged")), "earlier");
        }
        EXPECT_FALSE(fs::exists(fs::path("input") / (file + ".part")));
    }
}

// A hostile index or data file is refused with a line or two: the reasons
// that quote the offending token (a number of a megabyte, a text ending in a
// control character) go into Log.txt cut short and with no raw control
// character, whatever the site sends.
TEST_F(UpdateTest, HostileIndexesAndDataFilesGrowTheLogByAFewKilobytesAtMost) {
    const std::string digits((1 << 20) - 64, '1');
    const std::string text((1 << 20) - 64, 'a');
    const std::string fifteen(std::size_t{15} << 20, '1');
    const struct {
        const char* what;
        std::string index;
        std::string dbase;  // served as 11/dbase.enc when not empty
        std::string logLine;
    } rows[] = {
        {"index: a number of a megabyte", "{\"p3d\":" + digits + "}", "", "number overflow parsing '1111"},
        {"index: a text ending in 0x01", "{\"p3d\":\"" + text + "\x01\"}", "", "control character U+0001"},
        {"index: 15 MiB of digits", "{\"p3d\":" + fifteen + "}", "", "versions.json"},
        {"data file: 15 MiB of digits", indexWith({{"dbase", "9.0.0"}}), fifteen, "dbase.enc"},
        {"data file: text and control characters", indexWith({{"dbase", "9.0.0"}}), text + "\x01\x1b[2J\r\n",
         "dbase.enc"},
    };
    constexpr std::size_t kMostPerAnswer_bytes = 2048;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all("input");
        DBASE_VERSION.setValue("1.0.0");
        serve("versions.json", row.index);
        unserve("11/dbase.enc");
        if (!row.dbase.empty()) serve("11/dbase.enc", row.dbase);
        const std::size_t before = log().size();
        EXPECT_TRUE(gf_checkForUpdates());
        const std::string after = log();
        EXPECT_NE(after.find(row.logLine, before), std::string::npos) << after.substr(before);
        EXPECT_LT(after.size() - before, kMostPerAnswer_bytes) << after.substr(before, 8192);
        const auto raw = std::find_if(after.begin() + static_cast<std::ptrdiff_t>(before), after.end(), [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return (u < 0x20 && c != '\n') || u == 0x7F;
        });
        EXPECT_EQ(raw, after.end()) << "raw control character at " << (raw - after.begin());
    }
}

// ---- A new program version ----

TEST_F(UpdateTest, NewProgramVersionIsUnpackedAndOffered) {
    const std::string installer = "MZ installer \r\n\x1a bytes";
    const std::string notes = "%PDF-1.4 notes";
    for (const bool opened : {true, false}) {
        SCOPED_TRACE(opened ? "browser opened" : "browser failed");
        openerResult = opened;
        gf_resetExitReason();
        gf_resetStatusLine();
        ui.calls.clear();
        serve("versions.json", indexWith({{"p3d", "11.10.6"}, {"airports", "99.0.0"}}));
        // The program is taken from beside the other files of the archive.
        serve("release/setup_GLIM_P3D_d_v11.10.6.zip",
              zipWithEntries({{"setup.EXE", installer}, {"readme.txt", "read me"}}, dir / "scratch.zip"));
        serve("docs/ReleaseNotes.pdf", notes);
        writeFile("install_new_version.exe", "stale");
        writeFile("new_version/old_notes.txt", "from before");

        EXPECT_FALSE(gf_checkForUpdates());
        EXPECT_EQ(gf_exitReason(), ExitReason::newVersion);
        EXPECT_EQ(gf_exitDelaySeconds(), 0);
        EXPECT_EQ(readAll("new_version/install_new_version.exe"), installer);
        EXPECT_EQ(readAll("new_version/ReleaseNotes.pdf"), notes);
        EXPECT_EQ(readAll("new_version/README.txt"), std::string(gf_checkInstallerRights(dir)) + "\n");
        EXPECT_FALSE(fs::exists("new_version/old_notes.txt"));
        EXPECT_FALSE(fs::exists("install_new_version.exe"));
        EXPECT_FALSE(fs::exists("setup_GLIM_P3D_d_v11.10.6.zip"));
        EXPECT_TRUE(fs::equivalent(openedFolder, dir / "new_version"));
        // The data sets wait for the next start.
        EXPECT_FALSE(fs::exists("input/airports.enc"));
        EXPECT_TRUE(logged("p3d program version at web = 11.10.6\n")) << log();
        EXPECT_EQ(ui.has("box GLIM: Could not open File Explorer at new version 48"), !opened);
        EXPECT_EQ(gf_statusLineSnapshot().statusText == "Opening file explorer at the new version failed? Try "
                                                        "manually via the Varndolin website.",
                  !opened);
    }
}

// Whatever goes wrong with the installer, nothing is offered, nothing half
// written stays behind, and the data sets are still checked.
TEST_F(UpdateTest, FailedInstallerOffersNothing) {
    const std::string installer = randomBytes(70000);
    std::string damaged = zipWith("setup.exe", installer, dir / "scratch.zip");
    const std::size_t at = damaged.find(installer.substr(0, 1000));
    ASSERT_NE(at, std::string::npos);
    damaged[at + 100] ^= 0x55;  // the entry's CRC no longer matches
    // An entry that claims 1 GiB is refused before a byte of it is written.
    std::string oversize = zipWith("setup.exe", "MZ small", dir / "scratch.zip");
    for (const auto& [signature, sizeAt] : {std::pair{std::string("PK\x03\x04", 4), 22}, {std::string("PK\x01\x02", 4), 24}}) {
        const std::size_t header = oversize.find(signature);
        ASSERT_NE(header, std::string::npos);
        oversize.replace(header + static_cast<std::size_t>(sizeAt), 4, std::string("\0\0\0\x40", 4));
    }
    const struct {
        const char* what;
        std::string zip;  // empty: not on the site
        const char* logLine;
    } rows[] = {
        {"not on the site", "", "Downloading program installer file version 11.10.6 failed"},
        {"not a zip", "<html>Not here</html>", "Could not open setup_GLIM_P3D_d_v11.10.6.zip"},
        {"damaged entry", damaged, "Unzipping error code: "},
        {"entry beyond the cap", oversize,
         "Unzipping error code: readContent: setup.exe unpacks to more than 536870912 bytes"},
        {"empty archive", std::string("PK\x05\x06", 4) + std::string(18, '\0'),
         "install_new_version.exe does not exists?"},
        {"two programs", zipWithEntries({{"a.exe", "MZ a"}, {"b.exe", "MZ b"}}, dir / "scratch.zip"),
         "setup_GLIM_P3D_d_v11.10.6.zip holds 2 programs (.exe), expected one: not unzipped"},
        {"no way into new_version", zipWith("setup.exe", "MZ new", dir / "scratch.zip"), "could not rename"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        gf_resetStatusLine();
        fs::remove_all("input");
        // A stale installer of an earlier attempt must not pass for this one.
        writeFile("install_new_version.exe", "stale");
        // Nor may it cost the user the installer an earlier start unpacked.
        writeFile("new_version/install_new_version.exe", "earlier");
        serve("versions.json", indexWith({{"p3d", "11.10.6"}, {"aig", "1.0.0"}}));
        serve("11/AIG-regcodes.enc", encrypted("<root/>"));
        unserve("release/setup_GLIM_P3D_d_v11.10.6.zip");
        if (!row.zip.empty()) serve("release/setup_GLIM_P3D_d_v11.10.6.zip", row.zip);
        // A folder where the part file goes makes the move fail.
        const bool blocked = std::string(row.what) == "no way into new_version";
        if (blocked) writeFile("new_version/install_new_version.exe.part/x", "x");

        EXPECT_TRUE(gf_checkForUpdates());
        EXPECT_TRUE(logged(row.logLine)) << log();
        EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet);
        EXPECT_EQ(gf_statusLineSnapshot().statusText, kUnzipFailed);
        EXPECT_EQ(readAll("new_version/install_new_version.exe"), "earlier");
        EXPECT_FALSE(fs::exists("install_new_version.exe"));
        EXPECT_FALSE(fs::exists("setup_GLIM_P3D_d_v11.10.6.zip"));
        EXPECT_TRUE(openedFolder.empty());
        EXPECT_TRUE(fs::exists("input/AIG-regcodes.enc"));
        if (blocked) fs::remove_all("new_version/install_new_version.exe.part");
    }
}

// A user who closes the window while the installer is coming does not wait
// for the transfer, nor for the data sets after it.
TEST_F(UpdateTest, StopFlagEndsAStalledTransferAndTheRestOfTheCheck) {
    serve("versions.json", indexWith({{"p3d", "11.10.7"}, {"dbase", "1.0.0"}}));
    serve("release/" + kStalledZip, randomBytes(200000));
    serve("11/dbase.enc", encrypted("<root/>"));
    const auto start = std::chrono::steady_clock::now();
    std::thread closer([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        g_userClosing = true;
    });
    EXPECT_TRUE(gf_checkForUpdates());
    closer.join();
    // Far below the transfer's own low-speed limit (30 s): the flag ended it.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_FALSE(fs::exists("new_version/install_new_version.exe"));
    EXPECT_FALSE(fs::exists(kStalledZip));
    EXPECT_FALSE(fs::exists("input/dbase.enc"));
    EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet);
}

// ---- Administrator rights ----

TEST(InstallerRights, AdministratorOnlyForAProtectedFolderTheUserCannotWrite) {
    const fs::path programFiles = fs::path("C:") / "Program Files";
    const struct {
        const char* what;
        fs::path folder;
        bool writable;
        bool elevated;
        const char* expected;
    } rows[] = {
        {"writable under Program Files", programFiles / "GLIM", true, false, kNormal},
        {"read-only under Program Files", programFiles / "GLIM", false, false, kAdmin},
        {"read-only under Program Files, elevated", programFiles / "GLIM", false, true, kNormal},
        {"read-only elsewhere", fs::path("D:") / "Games" / "GLIM", false, false, kNormal},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        InstallerRightsProbe probe;
        probe.protectedRoots = {programFiles};
        probe.canWriteIn = [&row](const fs::path&) { return row.writable; };
        probe.processElevated = [&row] { return row.elevated; };
        EXPECT_EQ(gf_checkInstallerRights(row.folder, probe), row.expected);
    }
    // The system's own write test: a writable folder needs no administrator,
    // and the test leaves nothing behind.
    const fs::path temp = fs::temp_directory_path();
    EXPECT_EQ(gf_checkInstallerRights(temp), kNormal);
    EXPECT_FALSE(fs::exists(temp / ".write_test.tmp"));
    EXPECT_FALSE(gf_systemInstallerRightsProbe().canWriteIn(temp / "no such folder"));
}

}  // namespace

