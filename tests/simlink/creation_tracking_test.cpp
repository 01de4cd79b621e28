#include "simlink/creation_tracking.h"

#include "core/user_error.h"
#include "simlink_test_support.h"

namespace {

using CreationTracking = SimLinkTest;

TEST_F(CreationTracking, TwentiethFailedTitleEndsTheRun) {
    for (int i = 1; i <= 19; ++i) {
        gf_liveryCreationFailed("DLH" + std::to_string(i), "Livery " + std::to_string(i), "A320", "DLH");
    }
    EXPECT_EQ(gf_failedLiveryTitleCount(), 19u);
    EXPECT_EQ(gf_statusLineSnapshot().statusText, "DLH19 'Livery 19' could not be created by your Sim!");
    EXPECT_FALSE(logHas("Error 81"));
    // The same title again counts once.
    gf_liveryCreationFailed("DLH99", "Livery 19", "A321", "DLH");
    EXPECT_EQ(gf_failedLiveryTitleCount(), 19u);
    try {
        gf_liveryCreationFailed("DLH20", "Livery 20", "A320", "DLH");
        FAIL() << "the twentieth failed title must end the run";
    } catch (const ozr::UserErrorException& e) {
        EXPECT_STREQ(e.what(), "81: There are too many liveries that could not be created by P3D!, see Log.txt");
    }
    EXPECT_TRUE(logHas("\n===> Error 81, There are too many liveries that could not be created by P3D!\n\n"));
    EXPECT_EQ(gf_creationFailureReport(), (std::vector<std::string>{"A320 DLH", "A321 DLH"}));
}

TEST_F(CreationTracking, FailedTitleIsNeverOfferedAgain) {
    gf_rememberLiveryTitle(0x3C6444, "Airbus A320 Lufthansa");
    gf_rememberLiveryTitle(0x4CA123, "Boeing 737 Ryanair");
    EXPECT_EQ(gf_rememberedLiveryTitle(0x3C6444), "Airbus A320 Lufthansa");
    gf_liveryCreationFailed("DLH4", "Airbus A320 Lufthansa", "A320", "DLH");
    EXPECT_TRUE(gf_isFailedLiveryTitle("Airbus A320 Lufthansa"));
    EXPECT_FALSE(gf_isFailedLiveryTitle("Boeing 737 Ryanair"));
    EXPECT_EQ(gf_rememberedLiveryTitle(0x3C6444), "");
    // The entry is gone: remembering another title works again.
    gf_rememberLiveryTitle(0x3C6444, "Airbus A320 Condor");
    EXPECT_EQ(gf_rememberedLiveryTitle(0x3C6444), "Airbus A320 Condor");
    gf_clearRememberedLiveryTitles();
    EXPECT_EQ(gf_rememberedLiveryTitle(0x4CA123), "");
    EXPECT_TRUE(gf_isFailedLiveryTitle("Airbus A320 Lufthansa")) << "failed titles live as long as the program";
}

TEST_F(CreationTracking, StoppingRunRecordsWithoutStatusLine) {
    g_runStopping.store(true);
    gf_liveryCreationFailed("DLH4", "Airbus A320 Lufthansa", "A320", "DLH");
    EXPECT_EQ(gf_statusLineSnapshot().statusText, "");
    EXPECT_TRUE(gf_isFailedLiveryTitle("Airbus A320 Lufthansa"));
    EXPECT_EQ(gf_creationFailureReport(), std::vector<std::string>{"A320 DLH"});
}

}  // namespace
