#include "core/settings_upgrade.h"

#include "core/settings_file.h"
#include "core/status_line.h"
#include "core/text_encoding.h"

#include "settings_test_support.h"

using namespace settings_test;

namespace {

class SettingsUpgradeTest : public SettingsTest {
protected:
    void SetUp() override {
        SettingsTest::SetUp();
        work = dir / "work";
        fs::create_directories(work / "input");
    }
    // The leftovers of older versions in the working folder.
    void plantLeftovers() {
        fs::create_directories(work / "TO_BE_LEARNED_OFFLINE" / "sub");
        writeFile(work / "TO_BE_LEARNED_OFFLINE" / "sub" / "a.txt", "x");
        writeFile(work / "versions.json", "{}");
        writeFile(work / "EGLL.xml", "x");
        writeFile(work / "EDDF.XML", "x");  // another name: Windows folders ignore case
        writeFile(work / "LFPG2.xml", "x");
        fs::create_directories(work / "EGKK.xml");
        writeFile(work / "input" / "airports_p3d.xml", "x");
        writeFile(work / "input" / "airports.xml", "x");
        fs::create_directories(work / "new_version");
        writeFile(work / "new_version" / "setup.exe", "x");
    }
    bool leftoversGone() {
        return !fs::exists(work / "TO_BE_LEARNED_OFFLINE") && !fs::exists(work / "versions.json") &&
               !fs::exists(work / "EGLL.xml") && !fs::exists(work / "input" / "airports_p3d.xml") &&
               !fs::exists(work / "new_version");
    }
    bool leftoversUntouched() {
        return fs::exists(work / "TO_BE_LEARNED_OFFLINE") && fs::exists(work / "versions.json") &&
               fs::exists(work / "EGLL.xml") && fs::exists(work / "input" / "airports_p3d.xml") &&
               fs::exists(work / "new_version");
    }
    // The default file with a stored version and some keys of older versions.
    std::string oldFile(const std::string& version) {
        std::string text = fixture("parameters_default.xml");
        const std::string from = "\"PROGRAM_VERSION\" value=\"11.10.5\"";
        text.replace(text.find(from), from.size(), "\"PROGRAM_VERSION\" value=\"" + version + "\"");
        text.replace(text.find("\"RANGE\" value=\"40\""), 18, "\"RANGE\" value=\"25\"");
        text.insert(text.find("  </parameters>"),
                    "    <parameter name=\"LOG\" value=\"true\" />\n"
                    "    <parameter name=\"MAX_LIVE\" value=\"100\" />\n"
                    "    <parameter name=\"MAX_LIVE\" value=\"200\" />\n"
                    "    <parameter name=\"AI_PACKAGE_ORDER\" value=\"x\" />\n");
        return text;
    }

    fs::path work;
};

const char* kTooOld1 =
    "\nYour previous version was too old to convert the old text box parameters to the newdropbox values.\n";
const char* kTooOld2 = "GLIM_P3D re-starts with default parameter values ...\n\n";

}  // namespace

// Every save keeps the file it replaces as the last good copy; a damaged
// file is kept aside and the last good settings come back, with a word to
// the user, and no first start (no scans) follows.
TEST_F(SettingsUpgradeTest, DamagedFileIsReplacedByTheLastGoodCopy) {
    const fs::path good = dir / "parameters_good.xml";
    lf_checkParametersFile(file, work);  // a first start
    SCAN_LIVERIES.setValue(false);
    gf_saveBoolParameter(SCAN_LIVERIES, file);
    SCAN_AIRPORTS.setValue(false);
    gf_saveBoolParameter(SCAN_AIRPORTS, file);
    lfolder[0].setValue("C:\\Liveries");
    gf_saveStringParameter(lfolder[0], file);
    const std::string beforeLastSave = readFile(file);
    RANGE.setValue(25);
    gf_saveNumberParameter(RANGE, file);
    EXPECT_EQ(readFile(good), beforeLastSave);

    const std::string damaged = "<root><parameters><parameter name=\"RANGE\" value=";
    writeFile(file, damaged);
    RANGE.setValue(30);
    gf_saveNumberParameter(RANGE, file);  // over a damaged file: all settings in memory
    EXPECT_EQ(readFile(good), beforeLastSave) << "a damaged file is never the good copy";
    writeFile(file, damaged);

    gf_resetSettings();
    gf_resetStatusLine();
    lf_checkParametersFile(file, work);

    EXPECT_EQ(lfolder[0].get(), "C:\\Liveries");
    EXPECT_FALSE(SCAN_LIVERIES.value());
    EXPECT_FALSE(SCAN_AIRPORTS.value());
    EXPECT_EQ(readFile(dir / "parameters0.xml"), damaged);
    EXPECT_NE(readFile(file).find("\"lfolder0\" value=\"C:\\Liveries\""), std::string::npos);
    EXPECT_NE(log().find("==> " + file.string() + " was damaged: it is kept as " + (dir / "parameters0.xml").string() +
                         ", the last good settings were restored from " + good.string() + "\n"),
              std::string::npos)
        << log();
    EXPECT_EQ(gf_statusLineSnapshot().notice,
              "parameters.xml was damaged: kept as " + gf_pathToUtf8(dir / "parameters0.xml") +
                  ", the last good settings (parameters_good.xml) are used");
}

TEST_F(SettingsUpgradeTest, NewFileRequestsBothScansAndComparesNoVersion) {
    SCAN_LIVERIES.setValue(false);  // as a finished scan leaves it in memory
    SCAN_AIRPORTS.setValue(false);
    SCAN_LIVERIES.setWindow(reinterpret_cast<void*>(0x1));
    SCAN_AIRPORTS.setWindow(reinterpret_cast<void*>(0x2));
    plantLeftovers();

    lf_checkParametersFile(file, work);

    EXPECT_TRUE(SCAN_LIVERIES.value());
    EXPECT_TRUE(SCAN_AIRPORTS.value());
    EXPECT_EQ(readFile(file), fixture("parameters_default.xml"));
    EXPECT_EQ(sink.calls().back(), "check 32802 1");
    EXPECT_TRUE(sink.has("check 32798 1"));
    EXPECT_EQ(log().find("version update"), std::string::npos);
    EXPECT_TRUE(leftoversUntouched());
}

TEST_F(SettingsUpgradeTest, FileWithoutVersionGetsTheProgramVersionAndLosesNothing) {
    std::string text = oldFile("x");
    const auto start = text.find("    <parameter name=\"PROGRAM_VERSION\"");
    text.erase(start, text.find('\n', start) - start + 1);
    writeFile(file, text);
    plantLeftovers();

    lf_checkParametersFile(file, work);

    EXPECT_EQ(PROGRAM_VERSION.get(), "11.10.5");
    const std::string saved = readFile(file);
    EXPECT_NE(saved.find("<parameter name=\"PROGRAM_VERSION\" value=\"11.10.5\" />\n  </parameters>"), std::string::npos);
    EXPECT_NE(saved.find("\"LOG\""), std::string::npos);
    EXPECT_EQ(log().find("version update"), std::string::npos);
    EXPECT_TRUE(leftoversUntouched());
}

TEST_F(SettingsUpgradeTest, VersionBefore11_0_2IsReplacedByDefaultsAndKeptAside) {
    const std::string old = oldFile("11.0.1");
    writeFile(file, old);
    plantLeftovers();

    lf_checkParametersFile(file, work);

    const std::string text = log();
    const auto update = text.find("This is a version update from 11.0.1 -> 11.10.5\n");
    ASSERT_NE(update, std::string::npos);
    EXPECT_NE(text.find(std::string(kTooOld1) + kTooOld2, update), std::string::npos);
    EXPECT_EQ(readFile(file), fixture("parameters_default.xml"));
    EXPECT_EQ(readFile(dir / "parameters0.xml"), old);
    EXPECT_EQ(gf_statusLineSnapshot().notice,
              "parameters.xml was too old to convert: kept as " + gf_pathToUtf8(dir / "parameters0.xml") +
                  ", the default settings are used from the next start");
    EXPECT_EQ(RANGE.value(), 25);  // the defaults take effect at the next load
    EXPECT_TRUE(leftoversUntouched());
}

TEST_F(SettingsUpgradeTest, Version11_0_2LosesItsObsoleteKeysAndFiles) {
    writeFile(file, oldFile("11.0.2"));
    plantLeftovers();

    lf_checkParametersFile(file, work);

    const std::string text = log();
    EXPECT_NE(text.find("This is a version update from 11.0.2 -> 11.10.5\n"), std::string::npos);
    EXPECT_NE(text.find("Parameter 'LOG' removed\nParameter 'MAX_LIVE' removed\nParameter 'AI_PACKAGE_ORDER' removed\n"),
              std::string::npos);
    EXPECT_EQ(text.find("too old"), std::string::npos);
    EXPECT_NE(text.find("\n" + work.string() + "\n"), std::string::npos);

    std::string expected = oldFile("11.10.5");
    const std::string logLine = "    <parameter name=\"LOG\" value=\"true\" />\n";
    expected.erase(expected.find(logLine), logLine.size());
    const std::string maxLive = "    <parameter name=\"MAX_LIVE\" value=\"100\" />\n";
    expected.erase(expected.find(maxLive), maxLive.size());  // only the first of two
    const std::string order = "    <parameter name=\"AI_PACKAGE_ORDER\" value=\"x\" />\n";
    expected.erase(expected.find(order), order.size());
    EXPECT_EQ(readFile(file), expected);

    EXPECT_TRUE(leftoversGone());
    EXPECT_TRUE(fs::exists(work / "EDDF.XML"));  // the extension compares exactly
    EXPECT_TRUE(fs::exists(work / "LFPG2.xml"));
    EXPECT_TRUE(fs::is_directory(work / "EGKK.xml"));
    EXPECT_TRUE(fs::exists(work / "input" / "airports.xml"));
    EXPECT_EQ(RANGE.value(), 25);
}

TEST_F(SettingsUpgradeTest, NewerStoredVersionIsSetBackAndNothingElseHappens) {
    writeFile(file, oldFile("12.0.0"));
    plantLeftovers();

    lf_checkParametersFile(file, work);

    EXPECT_EQ(PROGRAM_VERSION.get(), "11.10.5");
    EXPECT_EQ(readFile(file), oldFile("11.10.5"));
    EXPECT_EQ(log().find("version update"), std::string::npos);
    EXPECT_TRUE(leftoversUntouched());
    EXPECT_FALSE(fs::exists(dir / "parameters0.xml"));
}

TEST_F(SettingsUpgradeTest, SameVersionChangesNothing) {
    writeFile(file, oldFile("11.10.5"));
    plantLeftovers();
    lf_checkParametersFile(file, work);
    EXPECT_EQ(readFile(file), oldFile("11.10.5"));
    EXPECT_TRUE(leftoversUntouched());
    EXPECT_FALSE(fs::exists(dir / "parameters0.xml"));
}

TEST_F(SettingsUpgradeTest, UnreadableVersionKeepsTheFileBeforeAnythingIsRemoved) {
    const std::vector<std::string> versions{"garbage", "v11.10.5", "11.99999999999.5"};
    for (const auto& version : versions) {
        SCOPED_TRACE(version);
        gf_resetSettings();
        gf_logOpen(dir / "Log.txt");
        fs::remove(dir / "parameters0.xml");
        const std::string old = oldFile(version);
        writeFile(file, old);

        lf_checkParametersFile(file, work);

        EXPECT_NE(log().find("VersionData exception: "), std::string::npos);
        EXPECT_EQ(readFile(dir / "parameters0.xml"), old);
        EXPECT_EQ(readFile(file), fixture("parameters_default.xml"));
    }
}

TEST_F(SettingsUpgradeTest, RemoveParameterTakesOnlyTheFirstElement) {
    const std::string text = parametersXml({{"A", "1"}, {"B", "2"}, {"A", "3"}});
    writeFile(file, text);
    EXPECT_TRUE(lf_removeParameter("A", file));
    EXPECT_EQ(readFile(file), parametersXml({{"B", "2"}, {"A", "3"}}));
    EXPECT_EQ(log(), "Parameter 'A' removed\n");

    const std::string before = readFile(file);
    EXPECT_FALSE(lf_removeParameter("a", file));  // keys are case-sensitive
    EXPECT_FALSE(lf_removeParameter("C", file));
    EXPECT_EQ(readFile(file), before);

    writeFile(file, "<root><parameters/></root>");
    EXPECT_FALSE(lf_removeParameter("A", file));
    writeFile(file, "not xml");
    EXPECT_FALSE(lf_removeParameter("A", file));
    fs::remove(file);
    EXPECT_FALSE(lf_removeParameter("A", file));
    EXPECT_FALSE(fs::exists(file));
}
