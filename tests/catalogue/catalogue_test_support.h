// A fresh working folder per test (the catalogue reads and writes relative
// paths), the log opened in it, and every catalogue container emptied.
#pragma once

#include "core/log.h"
#include "core/paths.h"
#include "support/test_env.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

void gf_resetCatalogueForTests();

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_previous = std::filesystem::current_path();
        folder = std::filesystem::temp_directory_path() /
                 ("glim_cat_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" +
                  std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        std::filesystem::create_directories(folder / "input");
        std::filesystem::create_directories(folder / "output");
        std::filesystem::current_path(folder);
        // parameters.xml (categories without liveries switch their option
        // off and save it) goes to the test's own folder.
        setTestEnv("GLIM_APPDATA", (folder / "appdata").string());
        std::filesystem::create_directories(folder / "appdata");
        gf_rebuildAppPaths();
        gf_logOpen(folder / "Log.txt");
        gf_resetCatalogueForTests();
    }
    void TearDown() override {
        gf_resetCatalogueForTests();
        gf_logClose();
        setTestEnv("GLIM_APPDATA", "");
        gf_rebuildAppPaths();
        std::filesystem::current_path(m_previous);
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    std::string logText() {
        gf_logFlush();
        return readFile(folder / "Log.txt");
    }
    static std::string readFile(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void writeFile(const std::filesystem::path& path, const std::string& text) {
        if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary);
        out << text;
    }

    std::filesystem::path folder;

private:
    std::filesystem::path m_previous;
};
