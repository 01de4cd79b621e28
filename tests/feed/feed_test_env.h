// A recording stand-in for the rest of the program, installed for one test,
// and a capture of Log.txt.
#pragma once

#include "core/clock.h"
#include "core/log.h"
#include "feed/feed_env.h"
#include "support/test_env.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

struct RecordedBatch {
    int delay_s;
    std::vector<FlightRecord> records;
};

struct RecordedStop {
    std::string name;
    bool restart;
};

class RecordingFeedEnv : public FeedEnv {
public:
    RecordingFeedEnv() { gf_setFeedEnv(this); }
    ~RecordingFeedEnv() override { gf_setFeedEnv(nullptr); }

    // With useCoreSettings the settings come from the program's settings
    // objects, as in production, and only the airport fields from here.
    FeedSettings settings() override {
        std::lock_guard lock(mutex);
        if (!useCoreSettings) return feedSettings;
        FeedSettings s = gf_feedSettingsFromCore();
        s.reservedStand = feedSettings.reservedStand;
        s.userParkingSpot = feedSettings.userParkingSpot;
        s.currentAirport = feedSettings.currentAirport;
        s.airportFileAlt_ft = feedSettings.airportFileAlt_ft;
        return s;
    }
    void stopWithError(std::string_view name, bool restart) override {
        std::lock_guard lock(mutex);
        stops.push_back({std::string(name), restart});
    }
    void setStatusLine(const std::string& text, bool) override {
        std::lock_guard lock(mutex);
        statusLines.push_back(text);
    }
    void clearStatusLine() override {}
    void repaint() override { ++repaints; }
    void takeTrafficBatch(std::vector<FlightRecord>& batch, int delay_s) override {
        std::lock_guard lock(mutex);
        batches.push_back({delay_s, std::move(batch)});
        batch.clear();
    }
    void pushBlockedEvent(std::uint32_t hexid) override {
        std::lock_guard lock(mutex);
        blocked.push_back(hexid);
    }
    void publishEngineQnh(int qnh) override {
        std::lock_guard lock(mutex);
        engineQnh.push_back(qnh);
    }
    std::optional<FeedDbaseRecord> lookupRegistration(std::string_view text) override {
        auto it = registrations.find(std::string(text));
        if (it == registrations.end()) return std::nullopt;
        return it->second;
    }
    std::vector<std::string> registrationKeys(std::string_view registration) override {
        std::string plain;
        for (char c : registration)
            if (c != '-') plain += c;
        return {std::string(registration), plain};
    }
    std::optional<FeedDbaseRecord> findRegistrationKey(std::string_view key) override { return lookupRegistration(key); }
    bool isKnownAcType(std::string_view type) override { return knownTypes.count(std::string(type)) > 0; }
    FeedCategory acCategory(std::string_view type) override {
        auto it = categories.find(std::string(type));
        return it == categories.end() ? FeedCategory::large : it->second;
    }
    FeedUserPosition userPosition() override { return user; }
    std::optional<FeedAirport> parkAirport() override { return park; }
    void sleepMs(int ms) override {
        std::lock_guard lock(mutex);
        sleeps.push_back(ms);
    }
    std::int64_t systemTime() override { return now > 0 ? now : gf_systemTime(); }

    std::mutex mutex;
    bool useCoreSettings = false;
    FeedSettings feedSettings;
    std::vector<RecordedStop> stops;
    std::vector<std::string> statusLines;
    std::vector<RecordedBatch> batches;
    std::vector<std::uint32_t> blocked;
    std::vector<int> engineQnh;
    std::vector<int> sleeps;
    std::atomic<int> repaints{0};
    std::map<std::string, FeedDbaseRecord> registrations;
    std::set<std::string> knownTypes{"B738", "A388", "A320", "B763", "C172", "H60", "F16", "E190", "B772"};
    std::map<std::string, FeedCategory> categories{
        {"C172", FeedCategory::light}, {"H60", FeedCategory::rotorcraft}, {"F16", FeedCategory::highPerf}};
    FeedUserPosition user{52.31, 4.76, 3500.9};
    std::optional<FeedAirport> park;
    std::int64_t now = 0;
};

// Log.txt in a temporary file for the life of the object.
class LogCapture {
public:
    LogCapture()
        : m_path(std::filesystem::temp_directory_path() /
                 ("feed_log_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "_" +
                  std::to_string(++s_count) + ".txt")) {
        gf_logOpen(m_path);
    }
    ~LogCapture() {
        gf_logClose();
        std::error_code ec;
        std::filesystem::remove(m_path, ec);
    }
    std::string text() const {
        gf_logFlush();
        std::ifstream in(m_path, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }

private:
    static inline int s_count = 0;
    std::filesystem::path m_path;
};
