// The tests' entry point under Wine. The process ends the way the program
// does, through its static destructors and the libraries' detach code, with
// the system's completion threads and Winsock still loaded: a test that
// cannot end after its last case shows a fault the program would have on
// close too. (A test that seemed to hang there was held by Wine's background
// services keeping its output open; scripts/wine-run now ends with the test.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    testing::InitGoogleMock(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::fflush(stdout);
    std::fflush(stderr);
    return result;
}
