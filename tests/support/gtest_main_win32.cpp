// The tests' entry point under Wine. After the last test the process ends at
// once: static destructors and library detach code are not the tests'
// subject, and under Wine on a loaded machine they can keep an exiting
// process waiting long enough to be counted as a time-out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <windows.h>

int main(int argc, char** argv) {
    testing::InitGoogleMock(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::fflush(stdout);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
    return result;
}
