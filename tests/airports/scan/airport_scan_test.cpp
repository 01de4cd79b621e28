#include "airports/airport_scan.h"
#include "airports/scan_log.h"
#include "airports/stand_file.h"
#include "airports/tblo.h"
#include "support/test_env.h"

#include "../work_folder.h"
#include "bgl_writer.h"
#include "core/files.h"
#include "core/paths.h"
#include "core/run_flags.h"
#include "core/settings.h"
#include "core/status_line.h"
#include "core/zip_archive.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <set>

#ifdef __linux__
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace {

using airports_test::WorkFolder;
namespace fs = std::filesystem;

bool lf_fourLetters(const std::string& code) {
    if (code.size() != 4) return false;
    for (char c : code) {
        if (c < 'A' || c > 'Z') return false;
    }
    return code != "ZZZZ";
}

bglw::Airport lf_airport(const std::string& ident, int stands, int helipads = 0, std::int32_t alt_mm = 0) {
    bglw::Airport a;
    a.ident = ident;
    a.alt_mm = alt_mm;
    a.names = {{ident + " Intl", {}}};
    for (int i = 0; i < helipads; ++i) a.helipads.push_back({10.0 + i * 0.01, 20.0, 20.0f, 90.0f});
    for (int i = 0; i < stands; ++i) {
        bglw::Parking p;
        p.nameCode = 10;
        p.number = static_cast<std::uint32_t>(i + 1);
        p.type = i % 4 == 0 ? 5 : 1;
        p.lat_deg = 10.0 + i * 0.0005;
        p.lon_deg = 20.0 + i * 0.0005;
        p.hdg_deg = 45.0f;
        a.parkings.push_back(p);
    }
    return a;
}

// The airport database is every four-letter code but ZZZZ; the Dbase knows
// two publishers, an archived EHAM and a third party's list.
class FakeLookups final : public AirportScanLookups {
public:
    explicit FakeLookups(const bool* blockEhamLink) : m_blockEhamLink(blockEhamLink) {}
    bool isKnownAirport(const std::string& code) override {
        // The user stops the run while an airport is being decoded.
        if (stopOnDecode) g_runStopping = true;
        return lf_fourLetters(code);
    }
    std::string publisherOfPath(const std::string& path) override {
        // The run stops while this file is decoded, after the scan has
        // already staged a stand file.
        if (path.find("Stopper") != std::string::npos) {
            std::error_code ec;
            fs::create_directories(gf_workPaths().airports / "scanning_my_thirdparty", ec);
            std::ofstream(gf_workPaths().airports / "scanning_my_thirdparty" / "KSTG.xml") << "<root/>";
            g_runStopping = true;
        }
        for (const char* publisher : {"Some Pub", "Vendor"}) {
            if (path.find(publisher) != std::string::npos) return publisher;
        }
        return "";
    }
    bool hasSimAddonKey(const std::string& key) override {
        // A link that cannot be written: a folder stands in its way in the
        // folder the scan writes to.
        if (*m_blockEhamLink && key == "archive/simaddon/EHAM.xml") {
            std::error_code ec;
            fs::create_directories(gf_workPaths().airports / "scanning_my_ORBX" / "EHAM.txt", ec);
        }
        return key == "archive/simaddon/EHAM.xml";
    }
    std::vector<std::string> thirdPartyEntries(const std::string& publisher) override {
        return publisher == "Some Pub" ? std::vector<std::string>{"EGLL40", "KJFK", "EDDK9"} : std::vector<std::string>{};
    }

    std::atomic<bool> stopOnDecode{false};

private:
    const bool* m_blockEhamLink;
};

class AirportScanTest : public WorkFolder, public AirportScanWindow {
protected:
    void SetUp() override {
        WorkFolder::SetUp();
        setTestEnv("GLIM_APPDATA", (m_folder / "appdata").string());
        gf_rebuildAppPaths();
        const WorkPaths& p = gf_workPaths();
        for (const fs::path& f : {p.myOrbx, p.myThirdparty, p.info}) fs::create_directories(f);
        gf_setStockSceneryPath(m_folder / "P3D" / "Scenery");
        gf_resetScanSlots();
        g_scanTaskCount.limit = 3;
        m_lookups = std::make_shared<FakeLookups>(&blockEhamLink);
    }
    void TearDown() override {
        gf_setStockSceneryPath({});
        WorkFolder::TearDown();
    }
    fs::path bgl(const std::string& relative, const std::vector<bglw::Airport>& airports) {
        const fs::path path = m_folder / "scenery" / relative;
        writeFile(path, bglw::encodeAirports(airports));
        return path;
    }
    std::string scanLog() { return readFile(gf_workPaths().airportsScanLog); }
    static std::vector<Stand> standsOf(const fs::path& file) {
        pugi::xml_document doc;
        EXPECT_TRUE(doc.load_file(file.c_str())) << file;
        std::vector<Stand> stands;
        lf_readParkpositions(doc, stands);
        return stands;
    }
    void openManual() override { ++opened; }
    void openParametersFolder() override { ++opened; }
    void tbloCollected() override { ++tbloCalls; }
    void scan() { gf_scanAddonAirports(m_lookups, *this); }

    int opened = 0;
    int tbloCalls = 0;
    bool blockEhamLink = false;
    std::shared_ptr<FakeLookups> m_lookups;
};

// One scan over two folders: an archived ORBX airport is linked only, an ORBX
// airport the archive lacks is generated, a third-party airport with more
// stands than its archived file is linked and generated, an airport of no
// known publisher is generated; statics, other files and a damaged file do
// not stop the scan; the generated third-party files end in tblo.zip.
TEST_F(AirportScanTest, ScanLinksGeneratesLogsAndCollects) {
    bgl("A/ORBX/EHAM/scenery/eham.bgl", {lf_airport("EHAM", 5)});
    // The link cannot be written: the airport gets its stand file instead.
    blockEhamLink = true;
    bgl("A/orbx/lfpg.bgl", {lf_airport("LFPG", 3, 2)});
    bgl("A/Some Pub/EGLL/egll.BGL", {lf_airport("EGLL", 45)});
    bgl("B/Some Pub/KJFK.bgl", {lf_airport("KJFK", 2, 1)});
    bgl("B/Unknown/SLLP.bgl", {lf_airport("SLLP", 4, 0, 4061000)});
    bgl("B/Unknown/again/SLLP.bgl", {lf_airport("SLLP", 4, 0, 4061000)});
    bgl("B/Unknown/statics/EDDF.bgl", {lf_airport("EDDF", 4)});
    bgl("B/Unknown/_heliports/EDDM.bgl", {lf_airport("EDDM", 4)});
    bgl("B/Unknown/ZZZZ.bgl", {lf_airport("ZZZZ", 4)});
    writeFile(m_folder / "scenery/B/readme.txt", "not scenery");
    // A parking count that runs past its record: that airport is skipped.
    bglw::Airport broken = lf_airport("EDDK", 2);
    std::string bytes = bglw::encodeAirports({broken});
    const std::size_t countAt = bytes.size() - 2 * 36 - 2;
    bytes[countAt] = '\x30';
    writeFile(m_folder / "scenery/B/Some Pub/broken.bgl", bytes);
    afolder[0].setValue((m_folder / "scenery/A").string());
    afolder[3].setValue((m_folder / "scenery/B").string());
    afolder[5].setValue((m_folder / "scenery/missing").string());
    SCAN_AIRPORTS.setValue(true);

    scan();

    const WorkPaths& p = gf_workPaths();
    EXPECT_EQ(standsOf(p.myOrbx / "EHAM.xml").size(), 5u);
    EXPECT_FALSE(fs::exists(p.myOrbx / "EHAM.txt"));
    EXPECT_EQ(standsOf(p.myOrbx / "LFPG.xml").size(), 5u);
    EXPECT_EQ(readFile(p.myThirdparty / "EGLL.txt"), "archive/thirdparty/Some%20Pub/EGLL.xml\n");
    EXPECT_EQ(readFile(p.myThirdparty / "KJFK.txt"), "archive/thirdparty/Some%20Pub/KJFK.xml\n");
    // Generated third-party files went to tblo; those with a link left
    // my_thirdparty.
    EXPECT_FALSE(fs::exists(p.myThirdparty / "EGLL.xml"));
    EXPECT_FALSE(fs::exists(p.myThirdparty / "KJFK.xml"));
    ASSERT_TRUE(fs::exists(p.myThirdparty / "SLLP.xml"));
    const std::vector<Stand> sllp = standsOf(p.myThirdparty / "SLLP.xml");
    ASSERT_EQ(sllp.size(), 4u);
    EXPECT_EQ(sllp[0].id, "g1");
    EXPECT_TRUE(sllp[0].cargo);
    EXPECT_NEAR(sllp[1].latitude, 10.0005, 1e-6);
    EXPECT_NE(readFile(p.myThirdparty / "SLLP.xml").find("value=\"13323\""), std::string::npos);
    for (const char* never : {"EDDF", "EDDM", "ZZZZ", "EDDK"}) {
        EXPECT_FALSE(fs::exists(p.myThirdparty / (std::string(never) + ".xml"))) << never;
    }
    EXPECT_FALSE(fs::exists(p.myThirdparty / "EDDK.txt"));

    const std::string scan = scanLog();
    for (const char* line : {
             "Scanning for addon  airports in ",
             "from filename => publisher simaddon\n",
             "EHAM.txt did not succeed\n",
             "Generated EHAM.xml: 5 positions\n",
             "LFPG does not exist as simaddon\n",
             "Generated LFPG.xml: 5 positions, of which 2 helipads\n",
             "thirdparty airport EGLL linked to archive/thirdparty/Some%20Pub/EGLL.xml\n",
             "===> EGLL has 45 parkpos while archived one has 40\n",
             "Generated EGLL.xml: 45 positions\n",
             "===> KJFK has 3 parkpos while archived one has 0\n",
             "Generated KJFK.xml: 3 positions, of which 1 helipad\n",
             "Generated SLLP.xml: 4 positions\n",
             "ZZZZ is not an airport supported by RealTraffic \n",
             "===> EDDK skipped, its airport record at byte ",
         }) {
        EXPECT_NE(scan.find(line), std::string::npos) << line << "\n" << scan;
    }
    EXPECT_EQ(scan.find("EHAM has"), std::string::npos);
    EXPECT_EQ(scan.find("linked to archive/simaddon"), std::string::npos);
    // The log names the folders the user knows, not where the scan wrote first.
    EXPECT_EQ(scan.find("scanning_"), std::string::npos);

    const std::string log = this->log();
    for (const char* line : {
             "From parameter afolder0: ", "From parameter afolder3: ", "The scan will search 3 folders\n",
             "missing does not exist, skipped!", "==> Some Pub KJFK KJFK invalid number\n",
             "AirportsScanLog.txt written\n",
             "[zip] Adding (data) ", "Airports scan successful\n", "! Mail ", "airports scan ends    ---",
         }) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }

    // tblo.zip holds exactly the collected files.
    EXPECT_EQ(g_tbloFileCount.load(), 3);
    EXPECT_EQ(tbloCalls, 1);
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(p.tblo)) left.insert(e.path().filename().string());
    EXPECT_EQ(left, std::set<std::string>{"tblo.zip"});
    ZipArchive zip;
    ASSERT_TRUE(zip.openReadOnly(p.tblo / "tblo.zip"));
    std::set<std::string> names;
    for (const auto& e : zip.entries()) {
        names.insert(e.name);
        const auto content = zip.readContent(e);
        ASSERT_TRUE(content.has_value());
        EXPECT_NE(content->find("<parkpositions>"), std::string::npos);
    }
    EXPECT_EQ(names, (std::set<std::string>{"EGLL.xml", "KJFK.xml", "SLLP.xml"}));
    EXPECT_FALSE(SCAN_AIRPORTS.value());
    EXPECT_EQ(g_scanTaskCount.count.load(), 0);
}

struct RefusalRow {
    const char* what;
    std::function<void(const fs::path& folder)> setup;
    const char* error;  // "" when the scan runs
};

// A scan that must not start, and the stock-scenery test it relies on.
TEST_F(AirportScanTest, RefusedFoldersLeaveEverythingInPlace) {
    g_airportFilesChanged = true;  // as a scan earlier in the process left it
    const std::vector<RefusalRow> rows = {
        {"no afolder", [](const fs::path&) {},
         "49: No afolder set: without add-on airports, untick Scan for addon airports; else exit GLIM_P3D and set "
         "afolder0 to them, see Manual 6.2"},
        {"inside stock, other case", [](const fs::path& f) { afolder[2].setValue((f / "p3d/SCENERY/World").string()); },
         "42: parameter afolder2 points to stock airports instead of add-on airports!"},
        {"beside stock", [](const fs::path& f) { afolder[2].setValue((f / "P3D/SceneryAddons").string()); }, ""},
        {"no stock path", [](const fs::path& f) {
             gf_setStockSceneryPath({});
             afolder[2].setValue((f / "P3D/Scenery/World").string());
         }, ""},
        {"stock without install path", [](const fs::path& f) {
             gf_setStockSceneryPath("Scenery");
             afolder[2].setValue((f / "Scenery").string());
         }, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        gf_resetSettings();
        gf_setStockSceneryPath(m_folder / "P3D" / "Scenery");
        writeFile(gf_workPaths().myOrbx / "KEEP.xml", "<root/>");
        row.setup(m_folder);
        opened = 0;
        std::string error;
        try {
            scan();
        } catch (const std::exception& e) {
            error = e.what();
        }
        EXPECT_EQ(error.substr(0, std::string(row.error).size()), row.error);
        EXPECT_EQ(fs::exists(gf_workPaths().myOrbx / "KEEP.xml"), !error.empty());
        EXPECT_EQ(opened, std::string(row.what) == "no afolder" ? 2 : 0);
        if (error.empty()) {
            // A scan that found nothing says so, also after one that did.
            EXPECT_FALSE(g_airportFilesChanged.load());
            EXPECT_NE(log().find("Warning: Scan has not found any add-on airports"), std::string::npos);
        }
    }
}

// A mistyped afolder is passed over, and the scan box is unticked after the
// scan: the window must keep saying which setting to correct, whatever the
// run shows next, not only a status line that the next one replaces.
TEST_F(AirportScanTest, SkippedFoldersStayInTheWindow) {
    bgl("A/ORBX/EHAM/scenery/eham.bgl", {lf_airport("EHAM", 5)});
    writeFile(m_folder / "scenery/readme.txt", "a file, not a folder");
    const std::string missing = (m_folder / "scenery/OBRX").string();
    const std::string file = (m_folder / "scenery/readme.txt").string();
    const std::string remedy = "then tick Scan for addon airports, see Manual 6.2";
    struct Row {
        const char* what;
        std::map<int, std::string> folders;  // afolder index -> value
        const char* settingsNotice;          // shown before the scan
        std::string notice;
    };
    const std::vector<Row> rows = {
        {"all there", {{0, "A"}}, "", ""},
        {"one missing", {{0, "A"}, {2, missing}}, "",
         "afolder2 " + missing + " does not exist: not scanned. Correct afolder2 in parameters.xml, " + remedy},
        {"a file", {{0, "A"}, {1, file}}, "",
         "afolder1 " + file + " is not a folder: not scanned. Correct afolder1 in parameters.xml, " + remedy},
        {"two", {{1, missing}, {4, file}, {6, "A"}}, "",
         "afolder1, afolder4 name no folder: not scanned. Correct them in parameters.xml, " + remedy},
        {"after a settings notice", {{0, "A"}, {2, missing}}, "parameters.xml was damaged",
         "parameters.xml was damaged | afolder2 " + missing +
             " does not exist: not scanned. Correct afolder2 in parameters.xml, " + remedy},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        gf_resetSettings();
        gf_resetStatusLine();
        if (*row.settingsNotice) gf_setSettingsNotice(row.settingsNotice);
        for (const auto& [index, value] : row.folders)
            afolder[index].setValue(value == "A" ? (m_folder / "scenery/A").string() : value);
        SCAN_AIRPORTS.setValue(true);
        scan();
        EXPECT_EQ(gf_statusLineSnapshot().notice, row.notice);
        if (!row.notice.empty()) {
            const std::string own = row.notice.substr(row.notice.find("afolder"));
            EXPECT_NE(log().find("==> " + own + "\n"), std::string::npos) << log();
        }
        EXPECT_FALSE(SCAN_AIRPORTS.value());
    }
}

// Many files at once with few slots: every airport of the tree gets its
// stand file, whatever order the tasks end in.
TEST_F(AirportScanTest, TreeOfFiveHundredFiles) {
    std::set<std::string> orbx;
    std::set<std::string> vendor;
    for (int i = 0; i < 500; ++i) {
        std::string code = "K";
        for (int v = i, k = 0; k < 3; ++k, v /= 26) code += static_cast<char>('A' + v % 26);
        (i % 2 == 0 ? orbx : vendor).insert(code + ".xml");
        const std::string folder = i % 2 == 0 ? "orbx/" : "Vendor/";
        bgl("T/" + folder + std::to_string(i % 7) + "/" + code + ".bgl", {lf_airport(code, 3 + i % 5)});
    }
    afolder[0].setValue((m_folder / "scenery/T").string());
    scan();
    const WorkPaths& p = gf_workPaths();
    auto namesIn = [](const fs::path& folder) {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
        return names;
    };
    EXPECT_EQ(namesIn(p.myOrbx), orbx);
    EXPECT_EQ(namesIn(p.myThirdparty), vendor);
    EXPECT_EQ(g_tbloFileCount.load(), 250);
    ZipArchive zip;
    ASSERT_TRUE(zip.openReadOnly(p.tblo / "tblo.zip"));
    std::set<std::string> zipped;
    for (const auto& e : zip.entries()) zipped.insert(e.name);
    EXPECT_EQ(zipped, vendor);
    const std::string scan = scanLog();
    std::size_t lines = 0;
    for (std::size_t at = scan.find("Generated "); at != std::string::npos; at = scan.find("Generated ", at + 1)) ++lines;
    EXPECT_EQ(lines, 500u);
    EXPECT_EQ(g_scanTaskCount.count.load(), 0);
}

// One airport in two files gets the stand file of the file with more
// stands (of equal counts the first path), in whichever order the files are
// walked; its BGLpath names the file below the add-on folder only. A scan
// that is stopped keeps the files of the scan before and stays switched on.
TEST_F(AirportScanTest, OneAirportInTwoFilesAndAnInterruptedScan) {
    g_scanTaskCount.limit = 1;  // tasks end in the order they were started
    struct Row {
        int first, second;
        const char* fromFile;
    };
    const Row rows[] = {{60, 2, "a"}, {2, 60, "b"}, {3, 3, "a"}};
    const fs::path sllp = gf_workPaths().myThirdparty / "SLLP.xml";
    for (const Row& row : rows) {
        fs::remove_all(m_folder / "scenery/U");
        bgl("U/a/SLLP.bgl", {lf_airport("SLLP", row.first)});
        bgl("U/b/SLLP.bgl", {lf_airport("SLLP", row.second)});
        afolder[0].setValue((m_folder / "scenery/U").string());
        scan();
        const std::string text = readFile(sllp);
        EXPECT_EQ(standsOf(sllp).size(), static_cast<std::size_t>(std::max(row.first, row.second)));
        EXPECT_NE(text.find(std::string("value=\"") + row.fromFile + (fs::path("/") .make_preferred().string()) +
                            "SLLP.bgl\""),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find(m_folder.string()), std::string::npos) << text;
    }

    const std::string before = readFile(sllp);
    bgl("U/c/EGLL.bgl", {lf_airport("EGLL", 7)});
    SCAN_AIRPORTS.setValue(true);
    g_runStopping = true;
    scan();
    gf_resetRunFlags();
    EXPECT_EQ(readFile(sllp), before);
    EXPECT_FALSE(fs::exists(gf_workPaths().myThirdparty / "EGLL.xml"));
    EXPECT_TRUE(SCAN_AIRPORTS.value());
    EXPECT_NE(log().find("Airports scan interrupted: the stand files of the last scan are kept"), std::string::npos);
}

#ifdef __linux__
// The names of the .bgl files opened below a folder since construction, as
// the kernel saw them.
class OpenedFiles {
public:
    explicit OpenedFiles(const fs::path& root) : m_fd(inotify_init1(IN_NONBLOCK)) {
        if (m_fd < 0) return;
        inotify_add_watch(m_fd, root.c_str(), IN_OPEN);
        for (const auto& e : fs::recursive_directory_iterator(root)) {
            if (e.is_directory()) inotify_add_watch(m_fd, e.path().c_str(), IN_OPEN);
        }
    }
    ~OpenedFiles() {
        if (m_fd >= 0) close(m_fd);
    }
    std::set<std::string> names() {
        std::set<std::string> names;
        alignas(inotify_event) char buffer[64 * 1024];
        for (ssize_t n; (n = read(m_fd, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                const std::string name = event->len > 0 ? event->name : "";
                if (!(event->mask & IN_ISDIR) && name.ends_with(".bgl")) names.insert(name);
                at += sizeof(inotify_event) + event->len;
            }
        }
        return names;
    }
    bool ok() const { return m_fd >= 0; }

private:
    int m_fd;
};

// A stop ends the walk before the next file. Raised before the scan, no
// scenery file is opened at all; raised while the first airport is decoded
// (one task slot), the walk opens at most the file it was at and no other.
// Either way the files of the last scan stay.
TEST_F(AirportScanTest, StopEndsTheWalkBeforeTheNextFile) {
    g_scanTaskCount.limit = 1;
    for (int i = 0; i < 20; ++i) {
        const std::string code = std::string("KA") + static_cast<char>('A' + i) + "A";
        bgl("S/" + std::to_string(i % 3) + "/" + code + ".bgl", {lf_airport(code, 2)});
    }
    bgl("S2/EGLL.bgl", {lf_airport("EGLL", 2)});
    afolder[0].setValue((m_folder / "scenery/S").string());
    afolder[1].setValue((m_folder / "scenery/S2").string());
    writeFile(gf_workPaths().myThirdparty / "SLLP.xml", "<root/>");
    for (const bool fromStart : {true, false}) {
        SCOPED_TRACE(fromStart ? "stop before the scan" : "stop while decoding");
        OpenedFiles opened(m_folder / "scenery");
        ASSERT_TRUE(opened.ok());
        g_runStopping = fromStart;
        m_lookups->stopOnDecode = !fromStart;
        scan();
        m_lookups->stopOnDecode = false;
        gf_resetRunFlags();
        const std::set<std::string> names = opened.names();
        EXPECT_LE(names.size(), fromStart ? 0u : 2u) << ::testing::PrintToString(names);
        EXPECT_EQ(names.count("EGLL.bgl"), 0u);
        // The second folder is not even begun.
        EXPECT_EQ(scanLog().find("scenery/S2"), std::string::npos) << scanLog();
        EXPECT_EQ(readFile(gf_workPaths().myThirdparty / "SLLP.xml"), "<root/>");
        EXPECT_NE(log().find("Airports scan interrupted: the stand files of the last scan are kept"),
                  std::string::npos);
        EXPECT_EQ(g_scanTaskCount.count.load(), 0);
    }
}
#endif

// A folder that is not a regular file does not count as collected.
// A scan log that cannot be written (a folder stands in its place) is said
// so, never logged as written.
TEST_F(AirportScanTest, UnwritableScanLogIsReported) {
    bgl("A/Unknown/SLLP.bgl", {lf_airport("SLLP", 4)});
    afolder[0].setValue((m_folder / "scenery/A").string());
    SCAN_AIRPORTS.setValue(true);
    const fs::path scanLogPath = gf_workPaths().airportsScanLog;
    writeFile(scanLogPath / "keep", "x");
    scan();
    EXPECT_NE(log().find("Error writing file " + gf_scanPathUtf8(scanLogPath)), std::string::npos);
    EXPECT_EQ(log().find(gf_scanPathUtf8(scanLogPath) + " written"), std::string::npos);
}

TEST_F(AirportScanTest, TbloCountsOnlyRegularFiles) {
    const WorkPaths& p = gf_workPaths();
    fs::create_directories(p.tblo / "sub");
    writeFile(p.myThirdparty / "ZZZZ.xml", "<root/>");
    lf_collectTblo({"ZZZZ"}, lf_fourLetters, [this] { ++tbloCalls; });
    EXPECT_EQ(g_tbloFileCount.load(), 0);
    EXPECT_EQ(tbloCalls, 0);
    EXPECT_NE(log().find("All your third party airports are recognised, no off line learning needed.\n"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(p.tblo / "ZZZZ.xml"));

    // Only the stand files go into the zip, whatever else lies in tblo.
    writeFile(p.myThirdparty / "EGLL.xml", "<root><parkpositions/></root>");
    writeFile(p.tblo / "private.txt", "C:\\Users\\someone");
    lf_collectTblo({"EGLL", "ZZZZ"}, lf_fourLetters, [this] { ++tbloCalls; });
    EXPECT_EQ(g_tbloFileCount.load(), 1);
    ZipArchive zip;
    ASSERT_TRUE(zip.openReadOnly(p.tbloZip));
    std::set<std::string> names;
    for (const auto& e : zip.entries()) names.insert(e.name);
    EXPECT_EQ(names, std::set<std::string>{"EGLL.xml"});
    EXPECT_TRUE(fs::exists(p.myThirdparty / "EGLL.xml"));  // no link file: it stays
}

// Files staged by a scan that did not end (a crash, or a stop of the run)
// never reach my_ORBX or my_thirdparty: the next scan would otherwise
// commit them as its own.
TEST_F(AirportScanTest, StagedFilesOfAnUnfinishedScanAreNeverCommitted) {
    const WorkPaths& p = gf_workPaths();
    writeFile(p.airports / "scanning_my_thirdparty" / "KXYZ.xml", "<root/>");
    writeFile(p.airports / "scanning_my_ORBX" / "KABC.txt", "archive/simaddon/KABC.xml\n");
    bgl("A/Unknown/SLLP.bgl", {lf_airport("SLLP", 4)});
    afolder[0].setValue((m_folder / "scenery/A").string());
    scan();
    ASSERT_TRUE(fs::exists(p.myThirdparty / "SLLP.xml"));
    EXPECT_FALSE(fs::exists(p.myThirdparty / "KXYZ.xml"));
    EXPECT_FALSE(fs::exists(p.myOrbx / "KABC.txt"));

    // A stop after a file was staged: the scan is interrupted and leaves no
    // staged folder behind, nor anything of it in my_thirdparty.
    const std::string before = readFile(p.myThirdparty / "SLLP.xml");
    bgl("S/Stopper/EGLL.bgl", {lf_airport("EGLL", 3)});
    bgl("T/Unknown/EDDK.bgl", {lf_airport("EDDK", 3)});
    afolder[0].setValue((m_folder / "scenery/S").string());
    afolder[1].setValue((m_folder / "scenery/T").string());
    scan();
    gf_resetRunFlags();
    EXPECT_NE(log().find("Airports scan interrupted"), std::string::npos);
    EXPECT_FALSE(fs::exists(p.airports / "scanning_my_thirdparty"));
    EXPECT_FALSE(fs::exists(p.airports / "scanning_my_ORBX"));
    EXPECT_FALSE(fs::exists(p.myThirdparty / "KSTG.xml"));
    EXPECT_EQ(readFile(p.myThirdparty / "SLLP.xml"), before);
}

// The scan replaces only what it wrote itself. A user's stand file in
// my_thirdparty (the park-airport list reads stand files there) and any
// other file of the user's are moved beside, named in the log and on the
// notice line; a rescan does not repeat a notice the line already shows.
TEST_F(AirportScanTest, TheScanMovesTheUsersFilesAsideAndReplacesOnlyItsOwn) {
    const WorkPaths& p = gf_workPaths();
    const std::string handmade = R"(<root><parameters><parameter name="airport_name" value="Schiphol by hand"/>
        <parameter name="handmade" value="true"/><parameter name="num_parkpos" value="1"/></parameters>
        <parkpositions><parkpos id="H1" latitude="52.3" longitude="4.75" radius="30"/></parkpositions></root>)";
    writeFile(p.myThirdparty / "EHAM.xml", handmade);
    writeFile(p.myThirdparty / "notes.txt", "archive/ is where my stand files come from\n");
    bgl("A/Unknown/SLLP.bgl", {lf_airport("SLLP", 4)});
    const fs::path sbgr = bgl("A/Unknown/SBGR.bgl", {lf_airport("SBGR", 2)});
    afolder[0].setValue((m_folder / "scenery/A").string());
    afolder[2].setValue((m_folder / "scenery/OBRX").string());
    std::string generated;
    for (int run = 1; run <= 3; ++run) {
        SCOPED_TRACE(run);
        if (run == 2) {
            writeFile(p.myThirdparty / "EHAM.xml", handmade + " ");  // the user puts it back, edited
            // A generated file the user mended, and one of another user's scan.
            generated = readFile(p.myThirdparty / "SLLP.xml");
            writeFile(p.myThirdparty / "SLLP.xml", generated + " ");
            writeFile(p.myThirdparty / "LFPG.xml", generated);
            fs::remove(sbgr);  // the add-on is gone: its generated file goes with it
        }
        // A folder of a scan that kept no list: its files of the same bytes
        // as the new ones go.
        if (run == 3) fs::remove(p.airports / "my_thirdparty_scan.txt");
        SCAN_AIRPORTS.setValue(true);
        scan();
        EXPECT_TRUE(fs::exists(p.myThirdparty / "SLLP.xml"));  // the scan's own, replaced at each scan
        EXPECT_EQ(fs::exists(p.myThirdparty / "SBGR.xml"), run == 1);
        EXPECT_FALSE(fs::exists(p.myThirdparty / "EHAM.xml"));
        EXPECT_FALSE(fs::exists(p.myThirdparty / "LFPG.xml"));
        EXPECT_FALSE(fs::exists(p.myThirdparty / "notes.txt"));
    }
    const fs::path kept = p.airports / "my_thirdparty_kept";
    EXPECT_EQ(readFile(kept / "EHAM.xml"), handmade);
    EXPECT_EQ(readFile(kept / "EHAM (2).xml"), handmade + " ");
    EXPECT_EQ(readFile(kept / "notes.txt"), "archive/ is where my stand files come from\n");
    EXPECT_EQ(readFile(kept / "SLLP.xml"), generated + " ");
    EXPECT_EQ(readFile(kept / "LFPG.xml"), generated);
    EXPECT_FALSE(fs::exists(kept / "SLLP (2).xml"));
    EXPECT_FALSE(fs::exists(kept / "SBGR.xml"));
    EXPECT_NE(log().find("EHAM.xml was not written by the scan: moved to "), std::string::npos) << log();
    const std::string notice = gf_statusLineSnapshot().notice;
    EXPECT_NE(notice.find("it did not write from "), std::string::npos) << notice;
    EXPECT_NE(notice.find("my_thirdparty_kept (not deleted)"), std::string::npos) << notice;
    const std::string afolderText = "afolder2 " + (m_folder / "scenery/OBRX").string() + " does not exist";
    const std::size_t first = notice.find(afolderText);
    EXPECT_NE(first, std::string::npos) << notice;
    EXPECT_EQ(notice.find(afolderText, first + 1), std::string::npos) << notice;
}

}  // namespace
