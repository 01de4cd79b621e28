#include "ui/window_state.h"

MainWindowState g_mainWindowState;

MainWindowState::MainWindowState() { ready.store(true); }

WindowTexts MainWindowState::texts() const {
    std::lock_guard lock(m_textMutex);
    return m_texts;
}

void MainWindowState::resetForRun() {
    changeTexts([](WindowTexts& t) {
        const std::vector<std::string> callsigns = std::move(t.callsigns);
        t = WindowTexts{};
        t.callsigns = callsigns;
    });
    rtIdle = true;
    standsShown = false;
    handmade = false;
    sMark = false;
    wMark = false;
    reservedStandValid = false;
    timeShiftDisplay = true;
    liveCount = 0;
    week = 0;
    updates = 0;
    stands = 0;
    parkedLive = 0;
    staticCount = 0;
    staticExtra = 0;
    maxPark = 0;
    maxParkPercent = 0;
    liveAverageFit = -1.0f;
    staticAverageFit = -1.0f;
}

void MainWindowState::resetAll() {
    resetForRun();
    changeTexts([](WindowTexts& t) { t.callsigns.clear(); });
    parkingBusy = false;
    liveryCount = 0;
    simaddonCount = 0;
    thirdpartyCount = 0;
    minutesToRenewal = 20;
}
