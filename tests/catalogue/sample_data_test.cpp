// The test bed's sample data reads without a rejected item and gives the
// scenario's aircraft the liveries the regcodes assign them.
#include "catalogue/catalogue.h"
#include "catalogue/dbase.h"
#include "catalogue/dbase_queries.h"
#include "catalogue/matcher.h"
#include "catalogue_test_support.h"
#include "core/data_key.h"
#include "core/settings.h"
#include "stream_sealer.h"

#include <cstdlib>

namespace fs = std::filesystem;

class SampleDataTest : public CatalogueTest {};

TEST_F(SampleDataTest, BuildsTheCatalogueAndMatchesTheScenario) {
    const char* source = std::getenv("GLIM_SOURCE_DIR");
    if (source == nullptr || *source == 0) source = GLIM_SOURCE_DIR_DEFAULT;
    const fs::path samples = fs::path(source) / "testbed" / "data" / "catalogue";
    for (const char* name : {"dbase", "AIG-regcodes"}) {
        writeFile(fs::path("input") / (std::string(name) + ".enc"),
                  encryptor::encryptBytes(g_dataFileKey, readFile(samples / (std::string(name) + ".xml"))));
    }
    fs::copy(samples / "my_regcodes", "input/my_regcodes", fs::copy_options::recursive);
    fs::copy_file(samples / "LiveriesScanned.xml", "output/LiveriesScanned.xml");

    ASSERT_TRUE(gf_readDbase());
    gf_processScannedLiveries();
    EXPECT_GE(g_dbase.registrations.size(), 300u);
    EXPECT_GE(g_liveryCount, 400u);
    for (std::size_t c = 0; c < kCategoryCount; ++c) EXPECT_GT(g_dbase.categoryHalfWingspans[c], 0.0) << c;
    const std::string log = logText();
    EXPECT_EQ(log.find("==> "), std::string::npos) << log;
    EXPECT_EQ(log.find("No livery found"), std::string::npos);
    EXPECT_FALSE(fs::exists("input/dbase.xml"));
    EXPECT_FALSE(fs::exists("input/AIG-regcodes.xml"));

    struct Row {
        const char* airline;
        const char* model;
        const char* registration;
        const char* titleStart;
    };
    for (const Row& row : {Row{"KLM", "B738", "PH-BXA", "GLIM sample KLM Boeing 737-800 2"},
                           Row{"DLH", "A359", "D-AIXA", "GLIM sample DLH Airbus A350-900 2"},
                           Row{"EIN", "A320", "EI-DVM", "GLIM sample EIN Airbus A320"},
                           Row{"KLM", "E190", "PH-EZA", "GLIM sample KLM Embraer 190"}}) {
        AcHead ac;
        ac.airline = row.airline;
        ac.model = row.model;
        ac.registration = row.registration;
        ac.category = gf_acCategory(row.model);
        gf_matchLivery(ac);
        EXPECT_EQ(ac.liveryTitle.rfind(row.titleStart, 0), 0u) << row.registration << " -> " << ac.liveryTitle;
    }
}
