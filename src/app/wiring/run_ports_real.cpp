#include "app/wiring/run_ports_real.h"

#include "app/wiring/airport_scan_services.h"
#include "app/wiring/airport_services.h"
#include "app/wiring/catalogue_services.h"
#include "app/wiring/feed_services.h"
#include "app/wiring/static_traffic_services.h"
#include "app/wiring/traffic_services.h"
#include "app/wiring/window_services.h"

#include "core/settings.h"
#include "feed/feed_window_values.h"
#include "feed/login.h"
#include "feed/reader_services.h"
#include "simlink/creation_tracking.h"
#include "simlink/flight_plan.h"
#include "simlink/sim_client.h"
#include "simlink/sim_queues.h"
#include "core/ui_sink.h"

#include <mutex>
#include <thread>

namespace {

// The reader threads of the run. Not detached: the closing down joins them
// once they have finished, and a reader that outlived the closing down's
// wait is joined before the next run resets the clients it works on.
struct ReaderThreads {
    std::mutex mutex;
    std::thread weather;
    std::thread traffic;
};
ReaderThreads g_readerThreads;

void lf_startReader(std::thread& slot, void (*body)()) {
    std::lock_guard lock(g_readerThreads.mutex);
    if (slot.joinable()) slot.join();
    slot = std::thread(body);
}

void lf_joinReaders(bool onlyFinished) {
    std::lock_guard lock(g_readerThreads.mutex);
    if (g_readerThreads.weather.joinable() && (!onlyFinished || g_weatherReader.finished.load())) {
        g_readerThreads.weather.join();
    }
    if (g_readerThreads.traffic.joinable() && (!onlyFinished || g_trafficReader.finished.load())) {
        g_readerThreads.traffic.join();
    }
}

RunPosition lf_userPosition() {
    const UserAcData data = gf_userAcData();
    return RunPosition{data.lat_deg, data.lon_deg};
}


class RealRunSimLink final : public RunSimLink {
public:
    void resetSimQueues() override { gf_resetSimQueues(P3D_VERSION.value()); }
    void startSimClient() override { gf_startSimClientThread(); }
    void requestSimClientStop() override {
        gf_stopSimClientThread();
        // The connection's last word on the user's stand, as its end would
        // have given it.
        gf_checkUserParkingSpot();
    }
    void joinSimClient() override { gf_joinSimClientThread(); }
    bool noSimSession() override { return g_noSimSession.load(); }
    bool simRunning() override { return g_simRunning.load(); }
    bool requestError() override { return g_requestError.load(); }
    bool takeSecondTick() override { return g_secondTick.exchange(false); }
    bool secondTickPending() override { return g_secondTick.load(); }
    bool requestUserOnGround() override { return gf_requestUserOnGroundEverySecond(); }
    void simRequestError() override { gf_simRequestError(); }
    bool userOnGroundKnown() override { return g_userOnGround.known.load(); }
    bool userOnGround() override { return g_userOnGround.value.load(); }
    void requestUserAcPosition() override { gf_requestUserAcPosition(); }
    RunPosition userPosition() override { return lf_userPosition(); }
    double userAltitudeFt() override { return gf_userAcData().alt_ft; }
    void requestUserAcTitleAndModel() override { gf_requestUserAcTitleAndModel(); }
    std::int64_t simTime() override { return g_simTime.load(); }
    void createFlightPlanFolder() override { gf_createFlightPlanFolder(); }
    void removeFlightPlanFolder() override { gf_removeFlightPlanFolder(); }
    void clearRememberedLiveryTitles() override { gf_clearRememberedLiveryTitles(); }
    void clearAiPositionBuffers() override { gf_clearAiPositionBuffers(); }
    void resetSimLink() override { gf_resetSimLink(P3D_VERSION.value()); }
};

class RealRunFeed final : public RunFeed {
public:
    void updateTrafficBox() override {
        const RunPosition user = lf_userPosition();
        gf_updateTrafficBox(g_trafficReader, user.lat, user.lon, g_rangeNm.load());
    }
    void updateReaderLamps() override { gf_updateReaderLamps(); }
    void authenticate() override { Authenticater(g_weatherReader, g_trafficReader); }
    // The worker alone writes and reads the session GUID.
    bool authenticated() override { return !g_weatherReader.GUID.empty(); }
    // The session is closed on the Traffic Reader's client, which holds the
    // same GUID as the Weather Reader's.
    void deauthenticate() override { g_trafficReader.deauthenticate(); }
    void startWeatherReader() override { lf_startReader(g_readerThreads.weather, gf_weatherReader); }
    void startTrafficReader() override { lf_startReader(g_readerThreads.traffic, gf_trafficReader); }
    bool weatherReaderFinished() override { return g_weatherReader.finished.load(); }
    bool trafficReaderFinished() override { return g_trafficReader.finished.load(); }
    void stopReaders() override {
        g_weatherReader.stop = true;
        g_trafficReader.stop = true;
    }
    void joinFinishedReaders() override { lf_joinReaders(true); }
    int qnhShown() override { return g_qnhShown.load(); }
    bool trafficReaderReceiving() override { return g_trafficReader.receiving.load(); }
    std::int64_t receivedFlightCount() override { return g_trafficReader.trafficCount.load(); }
    void setTrafficFilterCentre(RunPosition p) override {
        g_trafficReader.filterLat = p.lat;
        g_trafficReader.filterLon = p.lon;
    }
    void raiseCollectFlag() override { g_trafficReader.collect = true; }
    // Every request of both readers carries the shift of the moment.
    void applyTimeOffset(std::int32_t minutes) override { gf_applyTimeOffset(minutes); }
    void setReaderLamps(int lamp) override {
        g_trafficLamp = lamp;
        g_weatherLamp = lamp;
        gf_uiSink().invalidateBand(UiBand::counters);
    }
    void resetRtClients() override {
        // A reader still busy after the closing down's wait has been told to
        // stop; its transfers are bounded, so this join ends.
        lf_joinReaders(false);
        gf_resetRtClients();
        g_qnhShown = 0;
    }
};

struct RealNeighbours {
    RealRunSimLink sim;
    RealRunFeed feed;
    RealRunEngine engine;
    RealRunParking parking;
    RealRunCatalogue catalogue;
    RealRunAirports airports;
};

RealNeighbours& lf_buildRealNeighbours() {
    lf_wireFeed();
    // The catalogue installs the simulator link's neighbours.
    lf_wireCatalogue();
    lf_wireAirports();
    lf_wireStaticTraffic();
    static RealNeighbours neighbours;
    return neighbours;
}

}  // namespace

void gf_installRealRunPorts(RunWindow& window) {
    // The window first: every subsystem may show a status line from here on.
    gf_setUiSink(&lf_programWindowSink());
    static RealNeighbours& n = lf_buildRealNeighbours();
    gf_installRunPorts(RunPorts{window, n.sim, n.feed, n.engine, n.parking, n.catalogue, n.airports});
}

void gf_stopRealRunThreads() {
    gf_stopSimClientThread();
    gf_joinSimClientThread();
    g_weatherReader.stop = true;
    g_trafficReader.stop = true;
    lf_joinReaders(false);
}
