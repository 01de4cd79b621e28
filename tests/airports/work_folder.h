// A scratch working folder of its own for each airport test, with the log in
// it and every setting at its default. The folder name carries the process
// id: the airport test programs run side by side and must not share folders.
#pragma once

#include "core/log.h"
#include "core/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace airports_test {

namespace fs = std::filesystem;

inline int processId() {
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

class WorkFolder : public ::testing::Test {
protected:
    void SetUp() override {
        m_previous = fs::current_path();
        static int counter = 0;
        m_folder = fs::temp_directory_path() /
                   ("glim_airports_test_" + std::to_string(processId()) + "_" + std::to_string(++counter));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        fs::current_path(m_folder);
        gf_logOpen(m_folder / "Log.txt");
        gf_resetSettings();
    }
    void TearDown() override {
        gf_logClose();
        fs::current_path(m_previous);
        std::error_code ec;
        fs::remove_all(m_folder, ec);
        gf_resetSettings();
    }
    std::string log() {
        gf_logFlush();
        return readFile(m_folder / "Log.txt");
    }
    static std::string readFile(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void writeFile(const fs::path& path, const std::string& text) {
        if (path.has_parent_path()) fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    fs::path m_folder;
    fs::path m_previous;
};

}  // namespace airports_test
