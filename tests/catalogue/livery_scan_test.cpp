// The whole scan over the sample livery tree (testbed/data/liveries): the
// cache and every report file against golden files, natively and under Wine.
// GLIM_UPDATE_GOLDEN=1 writes the golden files from the run instead.
#include "catalogue/catalogue.h"
#include "catalogue/livery.h"
#include "catalogue/livery_reports.h"
#include "catalogue/livery_scan.h"
#include "catalogue/livery_paths.h"
#include "catalogue_test_support.h"
#include "livery_scan_support.h"
#include "support/test_env.h"

#include "core/files.h"
#include "core/paths.h"
#include "core/run_flags.h"
#include "core/settings_file.h"
#include "core/shell.h"
#include "core/settings.h"
#include "core/text_encoding.h"
#include "core/user_error.h"
#include "core/ui_sink.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <cstdlib>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

using livery_test::FakeDbase;

fs::path lf_sampleRoot() {
    if (const char* dir = std::getenv("GLIM_SOURCE_DIR")) return fs::path(dir) / "testbed" / "data" / "liveries";
    return fs::path(__FILE__).parent_path().parent_path().parent_path() / "testbed" / "data" / "liveries";
}

// UTF-8 text with CRLF line ends as UTF-16LE with its mark.
std::string lf_utf16le(const std::string& utf8) {
    std::string out = "\xFF\xFE";
    for (std::size_t i = 0; i < utf8.size();) {
        auto c = static_cast<unsigned char>(utf8[i]);
        char32_t cp = c;
        if (c >= 0xC0) {  // the template holds two-byte forms only
            cp = ((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F);
            i += 2;
        } else {
            ++i;
        }
        if (cp == '\n') {
            out += '\r';
            out += '\0';
        }
        out += static_cast<char>(cp & 0xFF);
        out += static_cast<char>(cp >> 8);
    }
    return out;
}

std::string lf_replace(std::string text, const std::string& from, const std::string& to) {
    for (auto pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size())) {
        text.replace(pos, from.size(), to);
    }
    return text;
}

class RecordingSink final : public UiSink {
public:
    void enableControl(int, bool) override {}
    void setCheck(int id, bool checked) override { checks.emplace_back(id, checked); }
    void fillCombo(int, const std::vector<std::string>&, int) override {}
    void selectCombo(int, int) override {}
    void setText(int, const std::string&) override {}
    void invalidateBand(UiBand band) override {
        if (band == UiBand::counters) counts.push_back(g_liveryCount.load());
    }
    bool controlEnabled(int) override { return true; }
    int messageBox(const std::string& text, const std::string&, unsigned) override {
        boxes.push_back(text);
        return 1;
    }
    std::vector<std::pair<int, bool>> checks;
    std::vector<std::size_t> counts;  // the livery count at each repaint of the counters
    std::vector<std::string> boxes;
};

// The report files of a scan, by their names in the golden folder.
const std::vector<std::pair<std::string, fs::path>>& lf_reportFiles() {
    static const std::vector<std::pair<std::string, fs::path>> files = [] {
        const WorkPaths& p = gf_workPaths();
        return std::vector<std::pair<std::string, fs::path>>{
            {"InvalidAirlineCodes.txt", p.invalidAirlines},   {"InvalidAircraftCodes.txt", p.invalidAircraft},
            {"Fixes.txt", p.fixes},                           {"InvalidAircraftCfgFiles.txt", p.invalidCfgFiles},
            {"IncompleFltsimSections.txt", p.incompleteFltsim},
            {"AircraftCfgWithNoFltsimSection.txt", p.noFltsimSection},
            {"AirlineModelConversions.txt", p.modelConversions}};
    }();
    return files;
}

class LiveryScanTest : public CatalogueTest {
protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        setTestEnv("GLIM_APPDATA", (folder / "appdata").string());
        gf_rebuildAppPaths();
        gf_resetSettings();
        gf_resetRunFlags();
        gf_resetScanSlots();
        lf_clearReportLists();
        gf_setLiveryScanDbase(&dbase);
        gf_setUiSink(&sink);
        fs::create_directories(folder / "output" / "info");
        fs::create_directories(folder / "output" / "errors");
        fs::create_directories(folder / "docs");
        fs::create_directories(gf_parametersPath().parent_path());
        gf_saveAllParameters(true);
    }
    void TearDown() override {
        gf_setShellOpener(nullptr);
        gf_setUiSink(nullptr);
        gf_setLiveryScanDbase(nullptr);
        lf_clearReportLists();
        gf_resetSettings();
        gf_resetRunFlags();
        CatalogueTest::TearDown();
    }

    // The sample tree copied into the test's folder, with the files that are
    // made here rather than kept in the repository.
    fs::path prepareTree() {
        const fs::path tree = folder / "liveries";
        fs::copy(lf_sampleRoot() / "tree", tree, fs::copy_options::recursive);
        const std::string source = readFile(lf_sampleRoot() / "templates" / "encoded.cfg");
        const fs::path enc = tree / "folder1" / "encodings";
        writeFile(enc / "utf16" / "aircraft.cfg", lf_utf16le(lf_replace(source, "{variant}", "UTF-16")));
        writeFile(enc / "utf8bom" / "aircraft.cfg", "\xEF\xBB\xBF" + lf_replace(source, "{variant}", "UTF-8"));
        writeFile(enc / "cp1252" / "aircraft.cfg",
                  lf_replace(lf_replace(source, "{variant}", "cp1252"), "\xC3\xA9", "\xE9"));
        // Real files: 8-bit text with CRLF line ends, 8-bit text only past
        // the first 4 KB, and lone CR line ends.
        const std::string cp1252 = lf_replace(source, "\xC3\xA9", "\xE9");
        makeAircraftFolder(enc / "cp1252crlf", lf_replace(lf_replace(cp1252, "{variant}", "cp1252 CRLF"), "\n", "\r\n"));
        std::string padding;
        while (padding.size() < 5000) padding += "// a long [General] section before the liveries\n";
        makeAircraftFolder(enc / "cp1252long",
                           padding + lf_replace(cp1252, "{variant}", "cp1252 past 4 KB"));
        makeAircraftFolder(enc / "lonecr", lf_replace(lf_replace(source, "{variant}", "lone CR"), "\n", "\r"));
        // A folder whose path reaches the length limit is not entered.
        fs::path deep = tree / "folder1" / "long";
        while (gf_pathToUtf8(deep).size() < 250) deep /= "deeper_folder_name";
        std::error_code ec;
        if (fs::create_directories(deep, ec)) {
            writeFile(deep / "aircraft.cfg", readFile(lf_sampleRoot() / "templates" / "long.cfg"));
        }
        writeFile(folder / "input" / "my_regcodes" / "dont_use.TXT",
                  readFile(lf_sampleRoot() / "templates" / "dont_use.TXT"));
        return tree;
    }

    void makeAircraftFolder(const fs::path& dir, const std::string& cfg) {
        fs::create_directories(dir / "model");
        fs::create_directories(dir / "texture");
        writeFile(dir / "b738.air", "");
        writeFile(dir / "aircraft.cfg", cfg);
    }

    // Paths of the run's folder made neutral, so the golden files hold the
    // same text on every machine and system.
    std::string normalized(std::string text, const fs::path& tree) {
        text = lf_replace(text, lf_narrowPathText(tree), "<tree>");
        for (char& c : text) {
            if (c == '\\') c = '/';
        }
        return text;
    }

    std::string liveriesText() {
        pugi::xml_document doc;
        if (!doc.load_file((folder / "output" / "LiveriesScanned.xml").c_str())) return "<missing>\n";
        std::string text;
        for (const pugi::xml_node liv : doc.child("root").child("liveries").children()) {
            text += std::string(liv.attribute("airl").as_string()) + "|" + liv.attribute("type").as_string() + "|" +
                    (liv.attribute("cargo").as_bool() ? "cargo" : "pax") + "|" + liv.attribute("title").as_string() +
                    "|" + liv.attribute("atcid").as_string() + "\n";
        }
        return text;
    }

    // The scan's own lines of Log.txt, from its start line to its end line.
    std::string scanLog(const fs::path& tree) {
        const std::string log = logText();
        const auto start = log.rfind("++++++++++++++++++++++++ liveries scan manual starts");
        const auto end = log.find("liveries scan ends", start);
        if (start == std::string::npos || end == std::string::npos) return log;
        return normalized(log.substr(start, end - start), tree);
    }

    void expectGolden(const std::string& name, const std::string& actual) {
        const fs::path golden = lf_sampleRoot() / "golden" / name;
        if (std::getenv("GLIM_UPDATE_GOLDEN") != nullptr) {
            if (actual == "<missing>\n") {
                fs::remove(golden);
            } else {
                writeFile(golden, actual);
            }
            return;
        }
        const std::string expected = fs::exists(golden) ? readFile(golden) : std::string("<missing>\n");
        EXPECT_EQ(expected, actual) << name;
    }

    void setFolders(const std::vector<fs::path>& folders) {
        for (std::size_t i = 0; i < folders.size(); ++i) lfolder[i].setValue(gf_pathToUtf8(folders[i]));
    }

    FakeDbase dbase;
    RecordingSink sink;
    livery_test::ScanWindow window;
};

TEST_F(LiveryScanTest, SampleTreeGivesTheGoldenCacheAndReportsTwiceInOneProcess) {
    const fs::path tree = prepareTree();
    setFolders({tree / "folder1", tree / "folder2"});
    SCAN_LIVERIES.setValue(true);
    LIG_PRIORITIZE.setValue(true);
    // A second scan in the same process starts with free titles and empty
    // reports, so it gives the same files.
    for (int scan = 0; scan < 2; ++scan) {
        SCOPED_TRACE(scan);
        SCAN_LIVERIES.setValue(true);
        gf_scanLiveries(window);
        EXPECT_FALSE(SCAN_LIVERIES.value());
        EXPECT_EQ(0, g_scanTaskCount.count.load());
        expectGolden("liveries.txt", liveriesText());
        for (const auto& [name, path] : lf_reportFiles()) {
            expectGolden(name, fs::exists(path) ? normalized(readFile(path), tree) : "<missing>\n");
        }
        expectGolden("scan_log.txt", scanLog(tree));
    }
    // The counter shows the liveries found after each folder: the scan's
    // progress.
    EXPECT_EQ((std::vector<std::size_t>{31, 33, 33, 31, 33, 33}), sink.counts);
    ASSERT_FALSE(sink.checks.empty());
    EXPECT_EQ(std::make_pair(static_cast<int>(SCAN_LIVERIES.controlId()), false), sink.checks.back());
}

TEST_F(LiveryScanTest, StopAfterTheFirstFolderWritesNothingAndKeepsTheScanOn) {
    const fs::path tree = prepareTree();
    setFolders({tree / "folder1", tree / "folder2", tree / "folder2"});
    writeFile(folder / "output" / "LiveriesScanned.xml", "<root/>");
    SCAN_LIVERIES.setValue(true);
    window.onCount = [](std::int32_t) { g_runStopping = true; };
    gf_scanLiveries(window);
    EXPECT_TRUE(SCAN_LIVERIES.value()) << "the cache is out of date: the next run must scan again";
    // The old cache stays whole until a finished scan replaces it.
    EXPECT_EQ("<root/>", readFile(folder / "output" / "LiveriesScanned.xml"));
    EXPECT_FALSE(fs::exists(gf_workPaths().incompleteFltsim));
    const std::string log = scanLog(tree);
    EXPECT_NE(std::string::npos, log.find("found in <tree>/folder1"));
    EXPECT_EQ(std::string::npos, log.find("<tree>/folder2"));
    EXPECT_EQ(0, g_scanTaskCount.count.load());

    // The next run's scan is not disturbed by what the stopped one left.
    g_runStopping = false;
    window.onCount = [](std::int32_t) {};
    setFolders({tree / "folder1", tree / "folder2"});
    LIG_PRIORITIZE.setValue(true);
    gf_scanLiveries(window);
    EXPECT_FALSE(SCAN_LIVERIES.value());
    expectGolden("liveries.txt", liveriesText());
}

// A repaint package as a large add-on airliner ships it: the liveries come
// before [General], and the first section names its type by a marketing
// name. [General]'s atc_model is the package's model; a section's own
// atc_model (read like any key line: case, blanks, comment) is its own
// only, and an unknown one is reported once and gives way to [General]'s.
// The file is cp1252 with mixed line ends. A package whose [General] names
// no model takes the first atc_model of the file for its sections without
// one; a fixed code is reported once per file.
TEST_F(LiveryScanTest, GeneralAtcModelIsThePackagesAndASectionsOwnIsItsOnly) {
    dbase.types.insert("B77L");
    const std::string cfg =
        "[Version]\r\nMajor=1\r\nMinor=0\r\n\r\n"
        "// Boeing 777-300ER repaints\r\n"
        "[fltsim.0]\r\ntitle=Boeing 777-300ER House Livery\r\nsim=B777-300ER\r\nmodel=\r\ntexture=HOUSE\r\n"
        "atc_airline=Speedbird\r\natc_id=G-STBA\r\natc_model=777-300ER\r\nui_manufacturer=\"Boeing\"\r\n"
        "ui_type=\"777-300ER\"\r\nui_variation=\"House Livery\"\r\natc_heavy=1\r\natc_parking_types=GATE\r\n"
        "atc_parking_codes=BAW\r\n\r\n"
        "[fltsim.1]\ntitle=Boeing 777-300ER British Airways\nsim=B777-300ER\nmodel=\ntexture=BAW\n"
        "atc_id=G-STBB\natc_parking_codes=BAW\natc_parking_types=GATE\nui_variation=\"British Airways\"\n\n"
        "[fltsim.2]\rtitle=Boeing 777F Lufthansa Cargo\rsim=B777-300ER\rmodel=\rtexture=DLH\r"
        "  ATC_Model =  B77L   // the freighter\ratc_parking_codes=DLH\ratc_parking_types=CARGO\r\r"
        "[fltsim.3]\r\ntitle=Boeing 777-300ER Air France Soci\xE9t\xE9\r\nsim=B777-300ER\r\nmodel=\r\n"
        "texture=AFR\r\n//atc_model=B744\r\natc_model=B77W\r\natc_parking_codes=AFR\r\n\r\n"
        "[fltsim.4]\r\ntitle=Boeing 777-300ER KLM\r\nsim=B777-300ER\r\nmodel=\r\ntexture=KLM\r\n"
        "atc_model=777-300ER\r\natc_parking_codes=KLM\r\n\r\n"
        "[General]\r\natc_type=BOEING\r\natc_model = B77W // ICAO code\r\nperformance=Cruise Mach 0.84\r\n"
        "category=airplane\r\n";
    const fs::path pmdg = folder / "SimObjects" / "Airplanes" / "PMDG 777-300ER";
    for (const char* texture : {"texture.HOUSE", "texture.BAW", "texture.DLH", "texture.AFR", "texture.KLM"}) {
        fs::create_directories(pmdg / texture);
    }
    fs::create_directories(pmdg / "model");
    writeFile(pmdg / "B777-300ER.air", "");
    writeFile(pmdg / "aircraft.cfg", cfg);
    const fs::path other = folder / "SimObjects" / "Airplanes" / "No General Model";
    makeAircraftFolder(other, "[fltsim.0]\ntitle=B738 Own Model\nsim=b738\natc_model=B738\natc_parking_codes=BAW\n"
                              "[fltsim.1]\ntitle=B738 No Model\nsim=b738\natc_parking_codes=BAW\n"
                              "[General]\natc_type=BOEING\n");
    const fs::path fixed = folder / "SimObjects" / "Airplanes" / "Fixed Model";
    makeAircraftFolder(fixed, "[fltsim.0]\ntitle=B738 Fixed Own\nsim=b738\natc_model=B73H\natc_parking_codes=KLM\n"
                              "[fltsim.1]\ntitle=B738 Fixed General\nsim=b738\natc_parking_codes=KLM\n"
                              " [general] // the type\natc_model=B73H\n");
    setFolders({folder / "SimObjects"});
    SCAN_LIVERIES.setValue(true);
    gf_scanLiveries(window);
    EXPECT_EQ("AFR|B77W|pax|Boeing 777-300ER Air France Soci\xC3\xA9t\xC3\xA9|\n"
              "BAW|B738|pax|B738 No Model|\n"
              "BAW|B738|pax|B738 Own Model|\n"
              "BAW|B77W|pax|Boeing 777-300ER British Airways|G-STBB\n"
              "BAW|B77W|pax|Boeing 777-300ER House Livery|G-STBA\n"
              "DLH|B77L|cargo|Boeing 777F Lufthansa Cargo|\n"
              "KLM|B738|pax|B738 Fixed General|\n"
              "KLM|B738|pax|B738 Fixed Own|\n"
              "KLM|B77W|pax|Boeing 777-300ER KLM|\n",
              liveriesText());
    EXPECT_EQ("Model fix: B73H found in " + lf_narrowPathText(fixed / "aircraft.cfg") + " changed into B738\n",
              readFile(gf_workPaths().fixes));
    EXPECT_EQ(fmt::format("{:16} in {}\n", "777-300ER", lf_narrowPathText(pmdg / "aircraft.cfg")),
              readFile(gf_workPaths().invalidAircraft));
    // Every file names a model somewhere: none is reported as without one.
    EXPECT_FALSE(fs::exists(gf_workPaths().invalidCfgFiles));
}

TEST_F(LiveryScanTest, AScanThatCannotSaveKeepsTheOldCacheAndTheScanOn) {
    const fs::path tree = prepareTree();
    setFolders({tree / "folder2"});
    const fs::path cache = folder / "output" / "LiveriesScanned.xml";
    writeFile(cache, "<root/>");
    // The temporary file beside the cache cannot be made.
    fs::create_directories(gf_tempPathFor(cache) / "in the way");
    SCAN_LIVERIES.setValue(true);
    gf_scanLiveries(window);
    EXPECT_EQ("<root/>", readFile(cache));
    EXPECT_TRUE(SCAN_LIVERIES.value());
    EXPECT_NE(std::string::npos, logText().find("==> saving: " + gf_pathToUtf8(gf_workPaths().liveriesScanned) + " failed"));
}

TEST_F(LiveryScanTest, ATaskGivenUpByAnEarlierScanNeverTouchesTheNextOne) {
    const fs::path tree = prepareTree();
    setFolders({tree / "folder1", tree / "folder2"});
    LIG_PRIORITIZE.setValue(true);
    SCAN_LIVERIES.setValue(true);
    // Still running when the scan starts; it takes a title and reports a
    // line, then ends.
    g_scanTaskCount.count = 1;
    std::thread late([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        {
            std::lock_guard lock(g_liveryScanTitles.mutex);
            g_liveryScanTitles.titles.insert("B738 British Airways");
        }
        lf_addIncompleteSection("a line of the earlier scan");
        g_scanTaskCount.count.fetch_sub(1);
    });
    gf_scanLiveries(window);
    late.join();
    expectGolden("liveries.txt", liveriesText());
    expectGolden("IncompleFltsimSections.txt", normalized(readFile(gf_workPaths().incompleteFltsim), tree));
}

TEST_F(LiveryScanTest, FolderSettingsThatGiveNoScanEndTheRunWithTheirError) {
    fs::create_directories(folder / "empty");
    writeFile(folder / "file.txt", "x");
    writeFile(folder / "docs" / "Manual.pdf", "manual");
    std::vector<fs::path> opened;
    gf_setShellOpener([&opened](const fs::path& f) {
        opened.push_back(f);
        return false;
    });
    struct Case {
        std::vector<std::string> folders;  // lfolder0.. (relative to the test folder; "" unset)
        std::string error;
        std::string logged;
    };
    const std::vector<Case> cases{
        {{}, "48: Exit GLIM_P3D first!   Then set one or more lfolder parameters to your liveries, see Manual 5.3",
         ""},
        {{"", "missing"}, "243: the path pointed to by parameter 'lfolder1' does not exist, see Log.txt!",
         "==> lfolder1: 'missing' does not exist"},
        {{"empty"}, "53: no liveries found", "No liveries found in empty"},
        {{"file.txt", "empty"}, "53: no liveries found", "file.txt is not a folder name, skipped!"},
        // The reports tell why every section was refused.
        {{"refused"}, "53: no liveries found", "1 incomplete [fltsim.x] sections, see "},
    };
    writeFile(folder / "refused" / "aircraft.cfg", "[General]\natc_model=B738\n[fltsim.0]\ntitle=No Model Folder\n"
                                                  "atc_parking_codes=BAW\nsim=b738\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        gf_resetSettings();
        for (std::size_t i = 0; i < c.folders.size(); ++i) lfolder[i].setValue(c.folders[i]);
        SCAN_LIVERIES.setValue(true);
        try {
            gf_scanLiveries(window);
            ADD_FAILURE() << "no error";
        } catch (const ozr::UserErrorException& e) {
            EXPECT_EQ(c.error, e.what());
        }
        EXPECT_TRUE(SCAN_LIVERIES.value());
        if (!c.logged.empty()) {
            EXPECT_NE(std::string::npos, logText().find(c.logged)) << c.logged;
        }
    }
    EXPECT_EQ(lf_narrowPathText(fs::path("refused") / "model") + " or related path does not exist: [fltsim.0]\n",
              readFile(gf_workPaths().incompleteFltsim));
    // The missing folder settings sent the user to the manual and the
    // settings file; the shell refused both here, so both said so.
    EXPECT_EQ((std::vector<std::string>{"Could not open local folder with Manual",
                                        "Could not open folder with parameters.xml"}),
              sink.boxes);
    EXPECT_EQ(2u, opened.size());
}

}  // namespace
