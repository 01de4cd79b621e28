// Helpers shared by the simulator-link tests: a fixture that resets every
// bit of global state the link touches, gives each test a folder and a
// Log.txt of its own and records the window requests; builders for the
// simulator's messages; a polling wait.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/exit_reason.h"
#include "core/log.h"
#include "core/run_flags.h"
#include "core/settings.h"
#include "simlink/creation_tracking.h"
#include "simlink/sim_client.h"
#include "simlink/sim_neighbours.h"
#include "simlink/sim_queues.h"
#include "core/status_line.h"
#include "core/ui_sink.h"

using Bytes = std::vector<std::uint8_t>;

// Polls cond every 2 ms; gives up after limit (only a bound for a broken
// build, never a measured time).
template <typename Cond>
bool waitFor(Cond cond, std::chrono::milliseconds limit = std::chrono::milliseconds(15000)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return cond();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class RecordingUiSink final : public UiSink {
public:
    void enableControl(int controlId, bool enabled) override {
        std::lock_guard lock(m_mutex);
        if (enabled) m_enabled.push_back(controlId);
    }
    void setCheck(int, bool) override {}
    void fillCombo(int, const std::vector<std::string>&, int) override {}
    void selectCombo(int, int) override {}
    void setText(int, const std::string&) override {}
    void invalidateBand(UiBand) override { ++repaints; }
    bool controlEnabled(int) override { return true; }
    int messageBox(const std::string&, const std::string&, unsigned) override { return 1; }

    std::vector<int> enabledControls() {
        std::lock_guard lock(m_mutex);
        return m_enabled;
    }
    std::atomic<int> repaints{0};

private:
    std::mutex m_mutex;
    std::vector<int> m_enabled;
};

// Catalogue and stand answers the tests choose.
class FakeNeighbours final : public SimLinkNeighbours {
public:
    double halfWingspanNm(std::string_view type) override {
        std::lock_guard lock(mutex);
        ++spanLookups;
        if (type == "A320" || type == "A319" || type == "A321") return 17.9 / 1852.0;
        if (type == "E190") return 14.3 / 1852.0;
        if (type == "B738") return 17.9 / 1852.0;
        return 0.0;
    }
    double maxHalfWingspanNm() override { return 40.0 / 1852.0; }
    AcCategory acCategory(std::string_view type) override {
        return type == "A320" || type == "A321" || type == "A319" ? AcCategory::Large : AcCategory::Light;
    }
    std::string categoryName(AcCategory category) override {
        return category == AcCategory::Large ? "Large" : "Light";
    }
    std::string standNameAt(LatLon position) override {
        std::lock_guard lock(mutex);
        standLookupThreads.push_back(std::this_thread::get_id());
        return standName;
    }
    void reserveUserStand(const std::string& name) override {
        std::lock_guard lock(mutex);
        reserved.push_back(name);
    }
    std::string simVersionText() override { return simVersion; }

    std::mutex mutex;
    std::string simVersion = "5";
    int spanLookups = 0;
    std::string standName;
    std::vector<std::string> reserved;
    std::vector<std::thread::id> standLookupThreads;
};

class SimLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::temp_directory_path() /
                 ("glim_simlink_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" +
                  std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        std::filesystem::create_directories(folder);
        gf_logOpen(folder / "Log.txt");
        resetAll();
        gf_setUiSink(&sink);
        gf_setSimLinkNeighbours(&neighbours);
    }
    void TearDown() override {
        gf_stopSimClientThread();
        gf_joinSimClientThread();
        resetAll();
        gf_setUiSink(nullptr);
        gf_setSimLinkNeighbours(nullptr);
        gf_logClose();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    static void resetAll() {
        gf_resetSimLink(5);
        gf_resetSimQueues(5);
        gf_resetExitReason();
        gf_resetRunFlags();
        gf_resetStatusLine();
        gf_resetCreationTracking();
        SIM_INSTALL_PATH.setValue("");
        std::lock_guard lock(g_simObjectEvents.mutex);
        g_simObjectEvents.events.clear();
    }
    std::string logText() {
        gf_logFlush();
        std::ifstream in(folder / "Log.txt", std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool logHas(const std::string& line) { return logText().find(line) != std::string::npos; }
    static std::vector<SimObjectEvent> objectEvents() {
        std::lock_guard lock(g_simObjectEvents.mutex);
        return {g_simObjectEvents.events.begin(), g_simObjectEvents.events.end()};
    }

    std::filesystem::path folder;
    RecordingUiSink sink;
    FakeNeighbours neighbours;
};

// Builds a message as the simulator sends it: size, version, id, then fields.
class MessageBuilder {
public:
    MessageBuilder(std::uint32_t id, std::uint32_t size) : m_bytes(size, 0) {
        u32(0, size).u32(4, 4).u32(8, id);
    }
    MessageBuilder& u32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) m_bytes.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
        return *this;
    }
    MessageBuilder& i64(std::size_t at, std::int64_t v) {
        const auto raw = static_cast<std::uint64_t>(v);
        u32(at, static_cast<std::uint32_t>(raw));
        return u32(at + 4, static_cast<std::uint32_t>(raw >> 32));
    }
    MessageBuilder& f32(std::size_t at, float v) {
        std::uint32_t raw;
        std::memcpy(&raw, &v, 4);
        return u32(at, raw);
    }
    MessageBuilder& f64(std::size_t at, double v) {
        std::uint64_t raw;
        std::memcpy(&raw, &v, 8);
        return i64(at, static_cast<std::int64_t>(raw));
    }
    MessageBuilder& text(std::size_t at, const std::string& s) {
        for (std::size_t i = 0; i < s.size(); ++i) m_bytes.at(at + i) = static_cast<std::uint8_t>(s[i]);
        return *this;
    }
    // Cuts the message short, size field included (a damaged message).
    MessageBuilder& truncate(std::uint32_t size) {
        m_bytes.resize(size);
        if (size >= 4) u32(0, size);
        return *this;
    }
    const Bytes& bytes() const { return m_bytes; }

private:
    Bytes m_bytes;
};

inline Bytes exceptionMessage(std::uint32_t code, std::uint32_t sendId, std::uint32_t index = 0) {
    return MessageBuilder(1, 24).u32(12, code).u32(16, sendId).u32(20, index).bytes();
}

inline Bytes openMessage(const std::string& name, std::uint32_t a, std::uint32_t b, std::uint32_t c,
                         std::uint32_t d) {
    return MessageBuilder(2, 308).text(12, name).u32(268, a).u32(272, b).u32(276, c).u32(280, d).bytes();
}

inline Bytes eventMessage(std::uint32_t eventId, std::uint32_t data) {
    return MessageBuilder(4, 28).u32(12, 0xFFFFFFFFu).u32(16, eventId).u32(20, data).bytes();
}

inline Bytes addRemoveMessage(std::uint32_t eventId, std::uint32_t objectId, std::uint32_t objectType) {
    return MessageBuilder(5, 28).u32(12, 0xFFFFFFFFu).u32(16, eventId).u32(20, objectId).u32(24, objectType).bytes();
}

inline Bytes frameMessage(float rate) {
    return MessageBuilder(7, 32).u32(12, 0xFFFFFFFFu).u32(16, 204).f32(24, rate).f32(28, 1.0f).bytes();
}

// SIMOBJECT_DATA (8) or _BYTYPE (9) with dataSize bytes of data at 40.
inline MessageBuilder objectDataMessage(std::uint32_t id, std::uint32_t requestId, std::uint32_t objectId,
                                        std::uint32_t defineId, std::uint32_t dataSize) {
    MessageBuilder m(id, 40 + dataSize);
    m.u32(12, requestId).u32(16, objectId).u32(20, defineId).u32(28, 1).u32(32, 1).u32(36, 1);
    return m;
}
