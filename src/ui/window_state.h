// The main window's state: the display values that the other subsystems
// write and the painters read. Numbers and flags are atomics that any thread
// may write without a lock (a paint that mixes an old and a new value is put
// right by the next invalidation); texts are copied in and out under a lock.
// A writer invalidates the band that shows its value (UiSink::invalidateBand).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct WindowTexts {
    // The service's server text from the login answer.
    std::string serviceText;
    // Code of the park airport; empty leaves the state band empty.
    std::string parkAirport;
    // The two descriptive texts of the park airport's stand file.
    std::string standFilePublisher;
    std::string standFileAirportName;
    std::string qualityText;
    std::string reservedStand;
    // The callsign list of the "cs->oid:" combo (filled by the engine).
    std::vector<std::string> callsigns;
};

class MainWindowState {
public:
    MainWindowState();
    MainWindowState(const MainWindowState&) = delete;
    MainWindowState& operator=(const MainWindowState&) = delete;

    WindowTexts texts() const;
    template <typename Change>
    void changeTexts(Change change) {
        std::lock_guard lock(m_textMutex);
        change(m_texts);
    }

    // Back to the values of the start of a run: texts empty, marks cleared,
    // counters 0, the fits -1.0. The process-long values (livery count, the
    // hand-made counters, the renewal minutes) stay.
    void resetForRun();
    // Everything back to the start of the process (tests).
    void resetAll();

    std::atomic<bool> rtIdle{true};
    std::atomic<bool> standsShown{false};
    std::atomic<bool> handmade{false};
    std::atomic<bool> sMark{false};
    std::atomic<bool> wMark{false};
    std::atomic<bool> reservedStandValid{false};
    std::atomic<bool> timeShiftDisplay{true};
    std::atomic<bool> parkingBusy{false};

    std::atomic<std::int32_t> liveCount{0};
    std::atomic<std::int32_t> liveryCount{0};
    std::atomic<std::int32_t> simaddonCount{0};
    std::atomic<std::int32_t> thirdpartyCount{0};
    std::atomic<std::int32_t> week{0};
    std::atomic<std::int32_t> updates{0};
    std::atomic<std::int32_t> stands{0};
    std::atomic<std::int32_t> parkedLive{0};
    std::atomic<std::int32_t> staticCount{0};
    std::atomic<std::int32_t> staticExtra{0};
    std::atomic<std::int32_t> maxPark{0};
    std::atomic<std::int32_t> maxParkPercent{0};
    // Follows the run's static-renewal countdown.
    std::atomic<std::int32_t> minutesToRenewal{20};
    std::atomic<float> liveAverageFit{-1.0f};
    std::atomic<float> staticAverageFit{-1.0f};

    // Set last in the constructor: initInstance waits for it.
    std::atomic<bool> ready{false};

private:
    mutable std::mutex m_textMutex;
    WindowTexts m_texts;
};

extern MainWindowState g_mainWindowState;
