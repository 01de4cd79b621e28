#include "app/wiring/window_services.h"

#include "airports/park_airport_state.h"
#include "airports/tblo.h"
#include "catalogue/catalogue.h"
#include "feed/feed_window_values.h"
#include "feed/reader_services.h"
#include "simlink/sim_client.h"
#include "traffic/engine_support.h"
#include "traffic/static_parking.h"
#include "ui/main_window.h"
#include "ui/window_paint.h"

#include <algorithm>
#include <cstdint>

#include <windows.h>

UiSink& lf_programWindowSink() { return gf_win32UiSink(); }

void RealRunWindow::postToWindow(RunMessage message) {
    if (!g_mainWindow) return;
    PostMessageW(g_mainWindow, message == RunMessage::startRun ? kWmStartRun : kWmEndProgram, 0, 0);
}

void RealRunWindow::setWindowTopmost(bool topmost) {
    if (!g_mainWindow) return;
    SetWindowPos(g_mainWindow, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
}

void lf_fillLinkDisplay(DisplaySnapshot& s) {
    const SimLinkTexts texts = gf_simLinkTexts();
    s.simText = texts.simName;
    s.userAcTitle = texts.userAcTitle;
    s.userStand = texts.userStandName;
    s.connected = g_simConnected.load();
    s.running = g_simRunningShown.load();
    s.userAcKnown = g_userModelKnown.load() || s.userAcTitle.empty();
    s.authenticated = g_authenticated.load();
    s.serviceText = gf_serviceText();
    s.weatherLamp = g_weatherLamp.load();
    s.trafficLamp = g_trafficLamp.load();
    s.qnh = g_qnhShown.load();

    // The catalogue's and the airports' values: they keep their own, the
    // window only shows them.
    s.liveryCount = static_cast<int>(std::min<std::size_t>(g_liveryCount.load(), INT32_MAX));
    s.tbloFileCount = static_cast<std::uint64_t>(std::max<std::int64_t>(g_tbloFileCount.load(), 0));
    const AirportDisplay airport = g_airportDisplay.get();
    s.parkAirport = airport.parkAirportText;
    s.standsShown = airport.standsShown;
    s.standFilePublisher = airport.publisher;
    s.standFileAirportName = airport.airportName;
    s.handmade = airport.handmade;
    s.qualityText = airport.qualityText;
    s.stands = static_cast<int>(std::min<std::size_t>(airport.standCount, INT32_MAX));
    s.reservedStand = g_reservedStand.get();
    s.reservedStandValid = g_reservedStandFound.load();
    s.updates = g_standFileUpdates.load();

    // The static parking's values: the engine keeps them, the window only
    // shows them.
    s.maxPark = g_wantedParkShown.load();
    s.maxParkPercent = g_wantedParkPercentShown.load();
    s.sMark = g_softSearchShown.load();
    s.wMark = g_weekSearchShown.load();
}
