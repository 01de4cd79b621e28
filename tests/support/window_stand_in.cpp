// Every test starts with the window's stand-in installed; a test that looks
// at the window installs its own recording sink over it, and one that checks
// a missing window uninstalls it.
#include "support/window_stand_in.h"

#include <gtest/gtest.h>

namespace {

class InstallsTheStandIn final : public ::testing::EmptyTestEventListener {
    void OnTestProgramStart(const ::testing::UnitTest&) override { WindowStandIn::installed(); }
    void OnTestSuiteStart(const ::testing::TestSuite&) override { WindowStandIn::installed(); }
    void OnTestStart(const ::testing::TestInfo&) override { WindowStandIn::installed(); }
};

const bool g_registered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new InstallsTheStandIn);
    return true;
}();

}  // namespace
