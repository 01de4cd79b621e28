#include "core/settings_file.h"
#include "core/status_line.h"
#include "core/text_encoding.h"

#include "settings_test_support.h"

#include <fmt/format.h>

#include <thread>

using namespace settings_test;

namespace {

std::string lf_stars(std::size_t n) { return std::string(n, '*'); }

const std::string kBannerOpen = fmt::format("\n{} parameters {}\n", lf_stars(34), lf_stars(34));
const std::string kBannerClose = fmt::format("{}\n\n", lf_stars(80));

}  // namespace

// ---- Creating and completing the file ----

TEST_F(SettingsTest, MissingFileIsWrittenWithEveryDefault) {
    RANGE.setValue(25);  // the values in memory are not written, nor changed

    EXPECT_TRUE(gf_loadParameters(file));

    EXPECT_EQ(readFile(file), fixture("parameters_default.xml"));
    EXPECT_EQ(RANGE.value(), 25);
    EXPECT_EQ(PROGRAM_VERSION.get(), "");
    EXPECT_EQ(PROGRAM_VERSION.defaultValue(), "11.10.5");
    const std::string text = log();
    EXPECT_NE(text.find(kBannerOpen), std::string::npos);
    EXPECT_NE(text.find(file.string() + " not found,  create new with default values:\n"), std::string::npos);
    EXPECT_NE(text.find("RANGE=25\n"), std::string::npos);  // lines show the current value
    EXPECT_NE(text.find(kBannerClose), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "parameters0.xml"));  // nothing was there to keep
    EXPECT_FALSE(fs::exists(dir / "parameters.xml.tmp"));
}

TEST_F(SettingsTest, MissingKeysAreAppendedInRegistryOrder) {
    // Every stored key but these five.
    const std::vector<std::string> missing{"SIM_TIME", "MAX_FIT", "RANGE", "lfolder3", "BLOCK_CALLSIGN"};
    std::string full = fixture("parameters_default.xml");
    std::string partial = full;
    for (const auto& key : missing) {
        const std::string line = "    <parameter name=\"" + key + "\"";
        const auto pos = partial.find(line);
        ASSERT_NE(pos, std::string::npos) << key;
        partial.erase(pos, partial.find('\n', pos) - pos + 1);
    }
    writeFile(file, partial);

    EXPECT_FALSE(gf_loadParameters(file));

    std::string expected = partial;
    std::string appended;
    for (const auto& key : missing) {
        const std::string value = key == "SIM_TIME" ? "false" : key == "MAX_FIT" ? "47" : key == "RANGE" ? "40" : "";
        appended += "    <parameter name=\"" + key + "\" value=\"" + value + "\" />\n";
    }
    expected.insert(expected.find("  </parameters>"), appended);
    EXPECT_EQ(readFile(file), expected);
}

TEST_F(SettingsTest, MalformedOrIncompleteFileIsKeptAsideBeforeDefaultsReplaceIt) {
    const std::vector<std::string> damaged{
        "<root><parameters><parameter name=\"RANGE\" value=\"25\"",  // cut short
        "<root><other/></root>",                                       // no "parameters"
        "",                                                            // empty
    };
    for (const auto& content : damaged) {
        SCOPED_TRACE(content);
        fs::remove(dir / "parameters0.xml");
        gf_resetStatusLine();
        writeFile(file, content);
        EXPECT_TRUE(gf_loadParameters(file));
        EXPECT_EQ(readFile(dir / "parameters0.xml"), content);
        EXPECT_NE(gf_statusLineSnapshot().notice.find("the default settings are used"), std::string::npos);
        EXPECT_EQ(readFile(file), fixture("parameters_default.xml"));
    }
}

TEST_F(SettingsTest, FileWithoutRootIsReadFromTheDocument) {
    writeFile(file, "<parameters><parameter name=\"RANGE\" value=\"25\"/><parameter name=\"WEEK\" value=\"true\"/></parameters>");

    EXPECT_FALSE(gf_loadParameters(file));

    EXPECT_EQ(RANGE.value(), 25);
    EXPECT_TRUE(WEEK.value());
    // AIRP_HEIGHT, appended among the numbers, is present by the time the
    // combos are read: one element each.
    EXPECT_EQ(countOf(readFile(file), "<parameter "), 68u);
}

// ---- Values as read ----

TEST_F(SettingsTest, NumbersAreClampedInMemoryButKeptInTheFile) {
    struct Row {
        NumberParameter* setting;
        const char* stored;
        std::int32_t expected;
    };
    const std::vector<Row> rows{
        {&RANGE, "500", 100},
        {&RANGE, "7", 7},  // clamped, not snapped to a list entry
        {&RANGE, "1", 2},
        {&MAIN_WINDOW_X, "-99999", -30000},
        {&MAIN_WINDOW_Y, "30001", 30000},
        {&CUSTOM_PARKING_PERCENTAGE, "-5", -1},
        {&LAST_EPOCH_TIME, "99999999999999999999", 2147483647},
        {&LAST_EPOCH_TIME, "-99999999999999999999", 0},
        {&HOLDING_THRESHOLD_METERS, "5", 10},
        {&MAX_HOLDING_MINUTES, "61", 60},
        {&MAX_FIT, "48", 47},
        {&P3D_VERSION, "9", 6},
        {&MATCHING_DEPTH, "0", 1},
        {&AR_ABOVE_HEIGHT, "50000", 48000},
        {&MAX_LIVE_SEL, "-1", 0},
        {&AIRP_RANGE, "31", 30},
        {&AIRP_HEIGHT, "100", 2000},
        {&MAX_PARK_SEL, "501", 500},
        {&TIME_SHIFT_DAYS, "14", 13},
        {&TIME_SHIFT_HOURS, "24", 23},
        {&TIME_SHIFT_MINS, "60", 59},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.setting->name() + "=" + row.stored);
        gf_resetSettings();
        const std::string content = parametersXml({{row.setting->name(), row.stored}});
        writeFile(file, content);
        gf_loadParameters(file);
        EXPECT_EQ(row.setting->value(), row.expected);
        EXPECT_EQ(readFile(file).rfind(content.substr(0, content.find("  </parameters>")), 0), 0u);
    }
}

TEST_F(SettingsTest, UncleanValuesAreReadByTheirLeadingCharactersWithOneLogLine) {
    struct Row {
        std::string key;
        std::string stored;
        std::string expectedLine;  // the per-setting line after the load
        bool unclean;
    };
    const std::vector<Row> rows{
        {"RANGE", "0x10", "RANGE=2", true},  // 0, clamped
        {"RANGE", "abc", "RANGE=2", true},
        {"RANGE", "", "RANGE=2", true},
        {"RANGE", "12abc", "RANGE=12", true},
        {"RANGE", "25.9", "RANGE=25", true},
        {"RANGE", "-", "RANGE=2", true},
        {"RANGE", " 12 ", "RANGE=12", false},
        {"RANGE", "+12", "RANGE=12", false},
        {"MAIN_WINDOW_X", "-250px", "MAIN_WINDOW_X=-250", true},
        {"SCAN_LIVERIES", "banana", "SCAN_LIVERIES=false", true},
        {"SCAN_LIVERIES", "", "SCAN_LIVERIES=false", true},
        {"SCAN_LIVERIES", " true", "SCAN_LIVERIES=false", true},
        {"SCAN_LIVERIES", "No", "SCAN_LIVERIES=false", false},
        {"WEEK", "yes", "WEEK=true", false},
        {"WEEK", "T", "WEEK=true", false},
        {"WEEK", "1", "WEEK=true", false},
        {"DBASE_VERSION", "&lt;any text&gt;", "DBASE_VERSION=\"<any text>\"", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key + "=" + row.stored);
        gf_resetSettings();
        gf_logOpen(dir / "Log.txt");
        const std::string content = parametersXml({{row.key, row.stored}});
        writeFile(file, content);
        EXPECT_FALSE(gf_loadParameters(file));
        const std::string text = log();
        EXPECT_NE(text.find("\n" + row.expectedLine + "\n"), std::string::npos);
        EXPECT_EQ(countOf(text, "' read as "), row.unclean ? 1u : 0u);
        // Present keys are never appended a second time, and the file keeps the text.
        EXPECT_EQ(countOf(readFile(file), "name=\"" + row.key + "\""), 1u);
        if (row.unclean) {
            EXPECT_EQ(countOf(readFile(file), row.key + "\" value=\"" + row.stored + "\""), 1u);
        }
    }
}

TEST_F(SettingsTest, UncleanValueIsQuotedShortAndOnOneLine) {
    writeFile(file, parametersXml({{"RANGE", "1\x01" "2" + std::string(500, 'x')}}));
    gf_loadParameters(file);
    const std::string text = log();
    const auto pos = text.find("==> RANGE: value '1?2xxx");
    ASSERT_NE(pos, std::string::npos);
    const std::string line = text.substr(pos, text.find('\n', pos) - pos);
    EXPECT_LT(line.size(), 120u);
    EXPECT_EQ(line.substr(line.size() - 17), "xxx...' read as 1");
}

TEST_F(SettingsTest, ElementWithoutValueIsPresentAndGivesFalseZeroOrEmpty) {
    DBASE_VERSION.setValue("old");
    writeFile(file,
              "<root><parameters><parameter name=\"WEEK\"/><parameter name=\"SCAN_LIVERIES\"/>"
              "<parameter name=\"RANGE\"/><parameter name=\"MAIN_WINDOW_X\"/>"
              "<parameter name=\"DBASE_VERSION\"/></parameters></root>");
    gf_loadParameters(file);
    EXPECT_FALSE(SCAN_LIVERIES.value());
    EXPECT_EQ(RANGE.value(), 2);  // 0, clamped
    EXPECT_EQ(MAIN_WINDOW_X.value(), 0);
    EXPECT_EQ(DBASE_VERSION.get(), "");
    const std::string saved = readFile(file);
    for (const char* key : {"WEEK", "SCAN_LIVERIES", "RANGE", "MAIN_WINDOW_X", "DBASE_VERSION"}) {
        EXPECT_EQ(countOf(saved, std::string("name=\"") + key + "\""), 1u) << key;
    }
}

TEST_F(SettingsTest, KeysMatchExactlyAndTheFirstDuplicateWins) {
    writeFile(file, parametersXml({{"range", "10"},
                                   {"LAST_EPOCH_TIME", "55"},
                                   {"AIRP_HEIGHT", "4000"},
                                   {"AIRP_HEIGHT", "6000"},
                                   {"WEEK", "true"},
                                   {"WEEK", "false"}}));
    gf_loadParameters(file);
    EXPECT_EQ(RANGE.value(), 40);            // "range" is another key
    EXPECT_EQ(LAST_EPOCH_TIME.value(), 0);   // the key carries a colon
    EXPECT_EQ(AIRP_HEIGHT.value(), 4000);
    EXPECT_TRUE(WEEK.value());
    const std::string saved = readFile(file);
    EXPECT_EQ(countOf(saved, "name=\"RANGE\" value=\"40\""), 1u);
    EXPECT_EQ(countOf(saved, "name=\"LAST_EPOCH_TIME:\" value=\"0\""), 1u);
    EXPECT_EQ(countOf(saved, "name=\"range\" value=\"10\""), 1u);  // unknown keys stay
}

TEST_F(SettingsTest, FileInUtf16IsReadAndWrittenBackAsUtf8) {
    const std::string utf8 = parametersXml({{"DESTINATION", "EGLL"}});
    std::string utf16 = "\xFF\xFE";
    for (char c : utf8) {
        utf16 += c;
        utf16 += '\0';
    }
    writeFile(file, utf16);
    EXPECT_FALSE(gf_loadParameters(file));
    EXPECT_EQ(DESTINATION.get(), "EGLL");
    EXPECT_EQ(readFile(file).rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>", 0), 0u);
}

// ---- Log and window ----

TEST_F(SettingsTest, LoadLogsEverySettingAndUpdatesTheBoundControls) {
    writeFile(file, fixture("parameters_default.xml"));
    SCAN_LIVERIES.setWindow(reinterpret_cast<void*>(0x10));  // created
    // WEEK's check box does not exist yet: nothing is sent to it.

    EXPECT_FALSE(gf_loadParameters(file));

    const std::string text = log();
    EXPECT_EQ(text.find(kBannerOpen + "from '" + file.string() + "'\nSIM_TIME=false\nKEEP_SIM_TIME_PAR=false\n"), 0u);
    EXPECT_NE(text.find("\nLAST_EPOCH_TIME:=0\nHOLDING_THRESHOLD_METERS=250\n"), std::string::npos);
    EXPECT_NE(text.find("\nPROGRAM_VERSION=\"11.10.5\"\nSIM_INSTALL_PATH=\"\"\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - kBannerClose.size() - 18), "BLOCK_CALLSIGN=\"\"\n" + kBannerClose);

    EXPECT_TRUE(sink.has("check 32798 1"));
    EXPECT_FALSE(sink.hasPrefix("check 32853"));
    EXPECT_TRUE(sink.has("text 32818 40"));   // RANGE
    EXPECT_TRUE(sink.has("text 32841 18000"));  // AIRP_HEIGHT
    EXPECT_TRUE(sink.has("text 32828 "));     // BLOCK_CALLSIGN is an edit
    EXPECT_FALSE(sink.hasPrefix("text 32839"));  // DESTINATION stands among the texts
    EXPECT_TRUE(sink.has("invalidate"));
}

TEST_F(SettingsTest, StoppingRunWritesNoSettingLinesButTheClosingBanner) {
    g_runStopping = true;
    gf_saveAllParameters(false, file);
    const std::string text = log();
    EXPECT_EQ(text, kBannerClose);
}

// ---- Full save ----

TEST_F(SettingsTest, FullSaveWritesCurrentValuesAndAirpHeightTwice) {
    AIRP_HEIGHT.setValue(36000);
    BLOCK_CALLSIGN.setValue("BAW1");
    lfolder[9].setValue("D:\\Liveries & <more>");

    gf_saveAllParameters(false, file);

    std::string expected = fixture("parameters_default.xml");
    auto replace = [&expected](const std::string& from, const std::string& to) {
        for (auto pos = expected.find(from); pos != std::string::npos; pos = expected.find(from, pos + to.size())) {
            expected.replace(pos, from.size(), to);
        }
    };
    replace("\"AIRP_HEIGHT\" value=\"18000\"", "\"AIRP_HEIGHT\" value=\"36000\"");
    replace("\"BLOCK_CALLSIGN\" value=\"\"", "\"BLOCK_CALLSIGN\" value=\"BAW1\"");
    replace("\"lfolder9\" value=\"\"", "\"lfolder9\" value=\"D:\\Liveries &amp; &lt;more>\"");
    replace("\"PROGRAM_VERSION\" value=\"11.10.5\"", "\"PROGRAM_VERSION\" value=\"\"");
    EXPECT_EQ(readFile(file), expected);
    EXPECT_EQ(countOf(expected, "\"AIRP_HEIGHT\" value=\"36000\""), 2u);
}

TEST_F(SettingsTest, FailedSaveKeepsTheOldFileAndIsLogged) {
    writeFile(file, "old content");
    fs::create_directories(dir / "parameters.xml.tmp");  // the temporary file cannot be made

    gf_saveAllParameters(true, file);

    EXPECT_EQ(readFile(file), "old content");
    EXPECT_NE(log().find("==> saving: " + file.string() + " failed\n"), std::string::npos);

    // A one-key save that fails is reported, never logged as stored.
    fs::remove(dir / "parameters.xml.tmp");
    gf_saveAllParameters(true, file);
    fs::create_directories(dir / "parameters.xml.tmp");
    RANGE.setValue(12);
    gf_saveNumberParameter(RANGE, file);
    EXPECT_EQ(countOf(log(), "==> saving: " + file.string() + " failed\n"), 2u);
    EXPECT_EQ(log().find("RANGE=12\n"), std::string::npos);
}

// ---- Save of one key ----

TEST_F(SettingsTest, OneKeySaveChangesOnlyThatKey) {
    const std::string before =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<root>\n"
        "  <parameters>\n"
        "    <parameter name=\"WEEK\" value=\"false\" />\n"
        "    <parameter name=\"SOMETHING_ELSE\" value=\"kept\" />\n"
        "    <parameter name=\"RANGE\" value=\"500\" />\n"
        "    <parameter name=\"DESTINATION\" value=\"EGLL\" />\n"
        "  </parameters>\n"
        "  <notes>kept too</notes>\n"
        "</root>\n";
    writeFile(file, before);

    RANGE.setValue(65);
    gf_saveNumberParameter(RANGE, file);
    std::string expected = before;
    expected.replace(expected.find("\"500\""), 5, "\"65\"");
    EXPECT_EQ(readFile(file), expected);

    WEEK.setValue(true);
    gf_saveBoolParameter(WEEK, file);
    expected.replace(expected.find("\"false\""), 7, "\"true\"");
    EXPECT_EQ(readFile(file), expected);

    BLOCK_CALLSIGN.setValue("DLH4");  // absent: appended at the end
    gf_saveStringParameter(BLOCK_CALLSIGN, file);
    expected.insert(expected.find("  </parameters>"), "    <parameter name=\"BLOCK_CALLSIGN\" value=\"DLH4\" />\n");
    EXPECT_EQ(readFile(file), expected);

    const std::string text = log();
    EXPECT_EQ(text, "RANGE=65\nWEEK=true\nBLOCK_CALLSIGN=\"DLH4\"\n");
}

TEST_F(SettingsTest, OneKeySaveSetsEveryElementOfTheKey) {
    writeFile(file, parametersXml({{"AIRP_HEIGHT", "4000"}, {"RANGE", "10"}, {"AIRP_HEIGHT", "6000"}}) );
    AIRP_HEIGHT.setValue(8000);
    gf_saveNumberParameter(AIRP_HEIGHT, file);
    EXPECT_EQ(readFile(file), parametersXml({{"AIRP_HEIGHT", "8000"}, {"RANGE", "10"}, {"AIRP_HEIGHT", "8000"}}));

    // An element without "value" is the key's element: it gets the value
    // rather than a second element (or no change at all).
    writeFile(file, "<root><parameters><parameter name=\"WEEK\"/></parameters></root>");
    WEEK.setValue(true);
    gf_saveBoolParameter(WEEK, file);
    EXPECT_EQ(readFile(file), parametersXml({{"WEEK", "true"}}));
}

TEST_F(SettingsTest, OneKeySaveOnFileWithoutRootWritesEveryKeyUnderRoot) {
    writeFile(file, "<parameters><parameter name=\"RANGE\" value=\"10\"/></parameters>");
    RANGE.setValue(10);
    WEEK.setValue(true);

    gf_saveBoolParameter(WEEK, file);

    const std::string text = log();
    EXPECT_NE(text.find("WEEK=true\n\nPlacing a root level around a new parameters.xml to make it 100% xml compliance\n\n"),
              std::string::npos);
    gf_saveAllParameters(false, dir / "expected.xml");
    EXPECT_EQ(readFile(file), readFile(dir / "expected.xml"));
    EXPECT_NE(readFile(file).find("\"WEEK\" value=\"true\""), std::string::npos);
    EXPECT_NE(readFile(file).find("\"RANGE\" value=\"10\""), std::string::npos);
}

TEST_F(SettingsTest, OneKeySaveOnDamagedFileKeepsItAndWritesAllCurrentSettings) {
    RANGE.setValue(25);
    DESTINATION.setValue("KJFK");
    writeFile(file, "<root><parameters><param");  // damaged

    SCAN_LIVERIES.setValue(false);
    gf_resetStatusLine();
    gf_saveBoolParameter(SCAN_LIVERIES, file);

    EXPECT_EQ(readFile(dir / "parameters0.xml"), "<root><parameters><param");
    // The window tells the user where the damaged file is.
    EXPECT_EQ(gf_statusLineSnapshot().notice, "parameters.xml could not be read: kept as " +
                                                  gf_pathToUtf8(dir / "parameters0.xml") +
                                                  ", the settings in use were written");
    const std::string saved = readFile(file);
    EXPECT_EQ(countOf(saved, "<parameter "), 69u);
    EXPECT_NE(saved.find("\"SCAN_LIVERIES\" value=\"false\""), std::string::npos);
    EXPECT_NE(saved.find("\"RANGE\" value=\"25\""), std::string::npos);
    EXPECT_NE(saved.find("\"DESTINATION\" value=\"KJFK\""), std::string::npos);

    // Missing altogether: the same full file, nothing to keep.
    fs::remove(file);
    fs::remove(dir / "parameters0.xml");
    gf_saveNumberParameter(RANGE, file);
    EXPECT_EQ(readFile(file), saved);
    EXPECT_FALSE(fs::exists(dir / "parameters0.xml"));
}

TEST_F(SettingsTest, ConcurrentOneKeySavesLoseNoUpdate) {
    gf_saveAllParameters(true, file);
    // Each thread owns one setting and saves it over and over; without one
    // lock around each read-modify-write, saves overwrite each other's keys
    // (and a reader may meet a half-written file).
    const std::vector<NumberParameter*> owned{&MAIN_WINDOW_X, &MAIN_WINDOW_Y,   &HOLDING_THRESHOLD_METERS,
                                              &MAX_HOLDING_MINUTES, &RANGE,    &AIRP_RANGE,
                                              &TIME_SHIFT_DAYS,     &TIME_SHIFT_HOURS};
    std::vector<std::thread> threads;
    for (NumberParameter* setting : owned) {
        threads.emplace_back([setting, this] {
            for (int i = 1; i <= 12; ++i) {
                setting->setValue(setting->minValue() + i);
                gf_saveNumberParameter(*setting, file);
            }
        });
    }
    for (auto& t : threads) t.join();

    pugi::xml_document document;
    ASSERT_TRUE(gf_loadXmlDocument(document, file));
    for (NumberParameter* setting : owned) {
        EXPECT_EQ(gf_readIntParameter(document, setting->name()), setting->minValue() + 12) << setting->name();
    }
    EXPECT_EQ(countOf(readFile(file), "<parameter "), 69u);
}

TEST_F(SettingsTest, ReadersReturnNothingOnlyForAbsentKeys) {
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(parametersXml({{"A", "12"}, {"B", "x"}, {"C", "yes"}, {"D", "text"}}).c_str()));
    EXPECT_EQ(gf_readIntParameter(document, "A"), 12);
    EXPECT_EQ(gf_readIntParameter(document, "B"), 0);
    EXPECT_EQ(gf_readBoolParameter(document, "B"), false);
    EXPECT_EQ(gf_readIntParameter(document, "Z"), std::nullopt);
    EXPECT_EQ(gf_readBoolParameter(document, "C"), true);
    EXPECT_EQ(gf_readBoolParameter(document, "Z"), std::nullopt);
    EXPECT_EQ(gf_readStringParameter(document, "D"), "text");
    EXPECT_EQ(gf_readStringParameter(document, "Z"), std::nullopt);
}

// ---- XML save routine ----

TEST_F(SettingsTest, SaveXmlDocumentFixesTheDeclaration) {
    struct Row {
        const char* source;
        const char* expected;
    };
    const std::vector<Row> rows{
        {"<root/>", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root />\n"},
        {"<?xml version=\"1.1\" encoding=\"ISO-8859-1\" standalone=\"yes\"?><root><a/></root>",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<root>\n  <a />\n</root>\n"},
        {"<?xml standalone=\"no\"?><root/>",
         "<?xml standalone=\"no\" version=\"1.0\" encoding=\"UTF-8\"?>\n<root />\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.source);
        pugi::xml_document document;
        ASSERT_TRUE(document.load_string(row.source, pugi::parse_default | pugi::parse_declaration));
        ASSERT_TRUE(gf_saveXmlDocument(document, dir / "out.xml"));
        EXPECT_EQ(readFile(dir / "out.xml"), row.expected);
    }
}
