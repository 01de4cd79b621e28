#include "core/file_meta.h"

#include "core/clock.h"
#include "core/settings_file.h"

#include "settings_test_support.h"

using namespace settings_test;

namespace {

std::int64_t lf_fixedNow() { return 1796561082; }  // Sun Dec 06 12:44:42 2026

class FileMetaTest : public SettingsTest {
protected:
    void SetUp() override {
        SettingsTest::SetUp();
        gf_setSystemTimeSource(lf_fixedNow);
    }
    void TearDown() override {
        gf_setSystemTimeSource(nullptr);
        SettingsTest::TearDown();
    }
    std::string saved(pugi::xml_document& document) {
        EXPECT_TRUE(gf_saveXmlDocument(document, dir / "meta.xml"));
        return readFile(dir / "meta.xml");
    }
    std::optional<FileMeta> read(const std::string& xml, bool acceptWithoutSim = false) {
        pugi::xml_document document;
        EXPECT_TRUE(document.load_string(xml.c_str()));
        return gf_readMeta(document, acceptWithoutSim);
    }
};

std::string info(const std::string& name, const std::string& value) {
    return "    <info name=\"" + name + "\" value=\"" + value + "\" />\n";
}

std::string metaDocument(const std::string& infos) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <meta>\n" + infos + "  </meta>\n</root>\n";
}

}  // namespace

TEST_F(FileMetaTest, SetMetaSimGivesTheSimulatorTexts) {
    struct Row {
        std::uint32_t variant;
        const char* p3d;
        const char* msfs;
    };
    for (const Row& row : {Row{3, "v56", ""}, Row{1, "", "2020"}, Row{0, "", "2024"}, Row{2, "", "2024"}, Row{7, "", "2024"}}) {
        SCOPED_TRACE(row.variant);
        FileMeta meta;
        meta.P3D = "old";
        meta.MSFS = "old";
        gf_setMetaSim(meta, row.variant);
        EXPECT_EQ(meta.sim, row.variant);
        EXPECT_EQ(meta.P3D, row.p3d);
        EXPECT_EQ(meta.MSFS, row.msfs);
    }
}

TEST_F(FileMetaTest, Prepar3dHeaderHoldsFiveEntriesAndReadsBack) {
    FileMeta meta;
    meta.version = "11.10.5";
    gf_setMetaSim(meta, 3);
    pugi::xml_document document;
    ASSERT_TRUE(gf_writeMeta(document, meta));
    EXPECT_EQ(saved(document), metaDocument(info("author", "GLIM_P3D") + info("version", "11.10.5") +
                                            info("date", "Dec 06, 2026") +
                                            info("copyright", std::string(kFileMetaCopyright)) + info("sim", "3")));
    const auto back = gf_readMeta(document, false);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->author, "GLIM_P3D");
    EXPECT_EQ(back->version, "11.10.5");
    EXPECT_EQ(back->date, "Dec 06, 2026");
    EXPECT_EQ(back->sim, 3u);
    EXPECT_EQ(back->P3D, "");
    EXPECT_EQ(back->MSFS, "");
}

TEST_F(FileMetaTest, VariantZeroAddsP3dOrMsfsAsSixthEntry) {
    FileMeta meta;  // sim 0
    meta.MSFS = "2020";
    pugi::xml_document document;
    document.append_child("root").append_child("other");  // an existing root is used
    ASSERT_TRUE(gf_writeMeta(document, meta));
    auto infos = document.child("root").child("meta").children("info");
    std::vector<std::string> names;
    for (auto i : infos) names.push_back(i.attribute("name").value());
    EXPECT_EQ(names, (std::vector<std::string>{"author", "version", "date", "copyright", "sim", "MSFS"}));
    EXPECT_STREQ(document.child("root").child("meta").last_child().attribute("value").value(), "2020");
    EXPECT_EQ(std::distance(document.children("root").begin(), document.children("root").end()), 1);

    FileMeta p3d;
    p3d.P3D = "anything";
    pugi::xml_document second;
    ASSERT_TRUE(gf_writeMeta(second, p3d));
    const pugi::xml_node last = second.child("root").child("meta").last_child();
    EXPECT_STREQ(last.attribute("name").value(), "P3D");
    EXPECT_STREQ(last.attribute("value").value(), "v56");
}

TEST_F(FileMetaTest, ReaderRules) {
    const std::string copyright = info("copyright", "(c) maker");
    // Without a simulator entry only the lenient reader accepts.
    const std::string noSim = metaDocument(copyright + info("author", "me"));
    EXPECT_FALSE(read(noSim, false));
    ASSERT_TRUE(read(noSim, true));
    EXPECT_EQ(read(noSim, true)->author, "me");

    // The first of two entries of a name counts.
    auto twice = read(metaDocument(copyright + info("version", "1.0.0") + info("version", "2.0.0") + info("sim", "3")));
    ASSERT_TRUE(twice);
    EXPECT_EQ(twice->version, "1.0.0");

    // A sim entry without a value is still a simulator entry.
    auto bareSim = read(metaDocument(copyright + "    <info name=\"sim\" />\n"));
    ASSERT_TRUE(bareSim);
    EXPECT_EQ(bareSim->sim, 0u);

    EXPECT_TRUE(read(metaDocument(copyright + info("MSFS", "2024"))));
    EXPECT_TRUE(read(metaDocument(copyright + info("P3D", "v56"))));
    EXPECT_FALSE(read(metaDocument(info("sim", "3"))));  // no copyright
    EXPECT_FALSE(read("<root><other/></root>"));          // no meta
    EXPECT_EQ(log(), "");

    // Names compare exactly.
    EXPECT_FALSE(read(metaDocument(info("Copyright", "x") + info("sim", "3"))));

    // Without "root" the header is read from the document itself.
    EXPECT_TRUE(read("<meta><info name=\"copyright\" value=\"c\"/><info name=\"sim\" value=\"3\"/></meta>"));
}

TEST_F(FileMetaTest, EmptyCopyrightEndsTheReadingWithALogLine) {
    EXPECT_FALSE(read(metaDocument(info("copyright", "") + info("copyright", "late") + info("sim", "3"))));
    EXPECT_EQ(log(), "==> no copyright info in the file?\n");
}
