// The sample data of the test bed reads as the program reads it.
#include "airports/learned_path.h"
#include "airports/park_stand_file.h"
#include "airports_test_support.h"

namespace {

using airports_test::AirportsFixture;
namespace fs = std::filesystem;

fs::path lf_testbed() {
#ifdef _WIN32
    // Wine shows the Linux tree as drive Z:.
    return fs::path("Z:" GLIM_AIRPORTS_SAMPLES);
#else
    return fs::path(GLIM_AIRPORTS_SAMPLES);
#endif
}

class SampleData : public AirportsFixture {};

TEST_F(SampleData, EverySampleFileReads) {
    const fs::path data = lf_testbed() / "data" / "airports";
    const fs::path archive = lf_testbed() / "sitestub" / "site" / "downloads" / "P3D" / "archive" / "stock";
    writeDatabase(readFile(data / "airports.xml"));
    ASSERT_TRUE(gf_readAirports());
    EXPECT_GE(gf_airports().size(), 30u);

    fs::create_directories("airports");
    fs::copy(data / "my_thirdparty", "airports/my_thirdparty", fs::copy_options::recursive);
    fs::copy(data / "learned", "airports/learned", fs::copy_options::recursive);
    fs::copy_file(data / "my_park_airports.txt", "airports/my_park_airports.txt");
    fs::create_directories("airports/my_ORBX");
    fs::copy_file(archive / "EGLL.xml", "airports/my_ORBX/EGLL.xml");
    fs::copy_file(archive / "EHAM.xml", "airports/EHAM.xml");

    EXPECT_TRUE(lf_readMyParkAirports()) << log();
    EXPECT_EQ(gf_parkAirportsCopy().size(), 3u);

    struct Row {
        const char* code;
        const char* reference;
        std::size_t stands;
        bool handmade;
    };
    const Row rows[] = {
        {"EHAM", "airports\\EHAM.xml", 25, false},
        {"EGLL", "airports\\my_ORBX\\EGLL.xml", 6, false},  // with the learned manual stand
        {"EHRD", "airports\\my_thirdparty\\EHRD.xml", 3, true},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(gf_logParkAirport(row.code));
        gf_clearStands();
        ASSERT_EQ(gf_readApf(row.reference), "") << row.code << "\n" << log();
        EXPECT_EQ(g_standList.size(), row.stands) << row.code;
        EXPECT_EQ(g_parkAirportFile.handmade, row.handmade) << row.code;
    }
    EXPECT_EQ(log().find("==>"), std::string::npos) << log();
}

}  // namespace
