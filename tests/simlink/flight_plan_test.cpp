#include "simlink/flight_plan.h"

#include "core/paths.h"
#include "simlink_test_support.h"

#include <cstdlib>

namespace fs = std::filesystem;

namespace {

class FlightPlan : public SimLinkTest {
protected:
    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

TEST_F(FlightPlan, FileTextIsExact) {
    struct Row {
        const char* name;
        AcCategory category;
        const char* origin;
        const char* destination;
        const char* text;
    };
    const Row rows[] = {
        {"a Large airliner flies IFR", AcCategory::Large, "EDDF", "KJFK",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
         "<FlightPlan.FlightPlan>\n"
         "<FPType>IFR</FPType>\n"
         "<DepartureID>EDDF</DepartureID>\n"
         "<DestinationID>KJFK</DestinationID>\n"
         "</FlightPlan.FlightPlan>\n"
         "</SimBase.Document>\n"
         "\n"},
        {"a Rotorcraft flies VFR", AcCategory::Rotorcraft, "EGLC", "EGKB",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
         "<FlightPlan.FlightPlan>\n"
         "<FPType>VFR</FPType>\n"
         "<DepartureID>EGLC</DepartureID>\n"
         "<DestinationID>EGKB</DestinationID>\n"
         "</FlightPlan.FlightPlan>\n"
         "</SimBase.Document>\n"
         "\n"},
        {"feed text is escaped", AcCategory::Heavy, "A<B&", "\"X'>",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
         "<FlightPlan.FlightPlan>\n"
         "<FPType>IFR</FPType>\n"
         "<DepartureID>A&lt;B&amp;</DepartureID>\n"
         "<DestinationID>&quot;X&apos;&gt;</DestinationID>\n"
         "</FlightPlan.FlightPlan>\n"
         "</SimBase.Document>\n"
         "\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path path = folder / "plan.pln";
        ASSERT_TRUE(gf_writeFlightPlan(path, row.category, row.origin, row.destination));
        EXPECT_EQ(read(path), row.text);
    }
}

TEST_F(FlightPlan, FolderAndOverwrite) {
    // The application folder follows GLIM_APPDATA, here the test's folder.
#ifdef _WIN32
    _putenv_s("GLIM_APPDATA", folder.string().c_str());
#else
    setenv("GLIM_APPDATA", folder.string().c_str(), 1);
#endif
    gf_rebuildAppPaths();
    gf_setFlightPlanFolder({});
    ASSERT_TRUE(gf_createFlightPlanFolder());
    const fs::path planFolder = gf_flightPlanFolder();
    EXPECT_EQ(planFolder, gf_appFolderPath() / "orig_dest");
    EXPECT_TRUE(fs::is_directory(planFolder));
    EXPECT_EQ(gf_flightPlanPath(123), planFolder / "123.pln");

    ASSERT_TRUE(gf_writeFlightPlan(gf_flightPlanPath(123), AcCategory::Large, "EDDF", "KJFK"));
    ASSERT_TRUE(gf_writeFlightPlan(gf_flightPlanPath(123), AcCategory::Light, "EDDS", "EDDM"));
    const std::string text = read(gf_flightPlanPath(123));
    EXPECT_NE(text.find("<DepartureID>EDDS</DepartureID>"), std::string::npos);
    EXPECT_EQ(text.find("EDDF"), std::string::npos);

    // Off the caller's thread the jobs keep their order: a plan, its removal
    // and a plan of the next object with the same id leave the last plan;
    // the finished writes come back in order, a failed one marked so.
    gf_queueFlightPlanWrite(125, 1, AcCategory::Large, "EDDF", "KJFK");
    gf_queueFlightPlanRemoval(125);
    gf_queueFlightPlanWrite(125, 2, AcCategory::Light, "EDDS", "EDDM");
    gf_queueFlightPlanRemoval(126);
    gf_waitFlightPlanWrites();
    EXPECT_NE(read(gf_flightPlanPath(125)).find("<DepartureID>EDDS</DepartureID>"), std::string::npos);
    auto written = gf_takeWrittenFlightPlans();
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[0].owner, 1u);
    EXPECT_EQ(written[1].owner, 2u);
    EXPECT_TRUE(written[0].ok && written[1].ok);
    EXPECT_EQ(written[1].path, gf_flightPlanPath(125).string());
    EXPECT_TRUE(gf_takeWrittenFlightPlans().empty());

    // A second run of the same program start keeps the folder's path.
    ASSERT_TRUE(gf_removeFlightPlanFolder());
    EXPECT_FALSE(fs::exists(planFolder));
    ASSERT_TRUE(gf_createFlightPlanFolder());
    EXPECT_EQ(gf_flightPlanFolder(), planFolder);

    // Into a missing folder nothing can be written.
    ASSERT_TRUE(gf_removeFlightPlanFolder());
    EXPECT_FALSE(gf_writeFlightPlan(gf_flightPlanPath(124), AcCategory::Large, "EDDF", "KJFK"));
    gf_queueFlightPlanWrite(124, 3, AcCategory::Large, "EDDF", "KJFK");
    gf_waitFlightPlanWrites();
    written = gf_takeWrittenFlightPlans();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_FALSE(written[0].ok);
    gf_setFlightPlanFolder({});
#ifdef _WIN32
    _putenv_s("GLIM_APPDATA", "");
#else
    unsetenv("GLIM_APPDATA");
#endif
    gf_rebuildAppPaths();
}

}  // namespace
