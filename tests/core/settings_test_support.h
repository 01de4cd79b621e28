// Shared by the settings tests: a fresh folder per test, the log captured in
// it, a window stand-in that records what the settings asked of it, and
// every setting back at its default.
#pragma once

#include "support/test_files.h"

#include "core/log.h"
#include "core/run_flags.h"
#include "core/settings.h"
#include "core/ui_sink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace settings_test {

namespace fs = std::filesystem;

inline std::string readFile(const fs::path& p) { return test_files::readAll(p); }
using test_files::writeFile;

inline fs::path dataDir() {
    if (const char* dir = std::getenv("GLIM_SOURCE_DIR")) return fs::path(dir) / "tests" / "core" / "data";
    return fs::path(__FILE__).parent_path() / "data";
}

inline std::string fixture(const std::string& name) { return readFile(dataDir() / name); }

// A parameters.xml as the program writes it, holding the given elements.
inline std::string parametersXml(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters>\n";
    for (const auto& [key, value] : entries) {
        text += "    <parameter name=\"" + key + "\" value=\"" + value + "\" />\n";
    }
    return text + "  </parameters>\n</root>\n";
}

inline std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) ++n;
    return n;
}

class RecordingSink final : public UiSink {
public:
    void enableControl(int id, bool enabled) override { add("enable " + std::to_string(id) + " " + (enabled ? "1" : "0")); }
    void setCheck(int id, bool checked) override { add("check " + std::to_string(id) + " " + (checked ? "1" : "0")); }
    void fillCombo(int id, const std::vector<std::string>&, int) override { add("fill " + std::to_string(id)); }
    void selectCombo(int id, int selected) override { add("select " + std::to_string(id) + " " + std::to_string(selected)); }
    void setText(int id, const std::string& text) override { add("text " + std::to_string(id) + " " + text); }
    void invalidateBand(UiBand) override { add("invalidate"); }
    bool controlEnabled(int) override { return true; }
    int messageBox(const std::string&, const std::string&, unsigned) override { return 1; }

    std::vector<std::string> calls() const {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    bool has(const std::string& call) const {
        for (const auto& c : calls()) {
            if (c == call) return true;
        }
        return false;
    }
    bool hasPrefix(const std::string& prefix) const {
        for (const auto& c : calls()) {
            if (c.rfind(prefix, 0) == 0) return true;
        }
        return false;
    }

private:
    void add(std::string call) {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
    }
    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
};

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / (std::string("glim_settings_") + info->test_suite_name() + "_" + info->name() + "_" +
                                           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        file = dir / "parameters.xml";
        gf_resetSettings();
        gf_resetRunFlags();
        ASSERT_TRUE(gf_logOpen(dir / "Log.txt"));
        gf_setUiSink(&sink);
    }
    void TearDown() override {
        gf_setUiSink(nullptr);
        gf_logClose();
        gf_resetSettings();
        gf_resetRunFlags();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    // Everything logged so far; the log stays open.
    std::string log() {
        gf_logFlush();
        return readFile(dir / "Log.txt");
    }

    fs::path dir;
    fs::path file;
    RecordingSink sink;
};

}  // namespace settings_test
