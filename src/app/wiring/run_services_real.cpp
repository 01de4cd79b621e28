// The run's services wired to the subsystems that exist. What is not built
// yet keeps its quiet stand-in.
#include "app/run_services.h"
#include "app/wiring/airport_scan_services.h"
#include "app/wiring/airport_services.h"
#include "app/wiring/catalogue_services.h"
#include "app/wiring/livery_scan_services.h"
#include "app/wiring/static_traffic_services.h"
#include "app/wiring/traffic_services.h"
#include "app/wiring/update_services.h"
#include "app/wiring/window_services.h"

#include "catalogue/dbase.h"
#include "catalogue/dbase_queries.h"
#include "core/settings.h"
#include "core/settings_upgrade.h"
#include "feed/feed_env.h"
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

std::optional<FeedDbaseRecord> lf_feedRecord(const std::optional<DbaseRecord>& record) {
    if (!record) return std::nullopt;
    return FeedDbaseRecord{record->airl, record->type, record->opr};
}

// The feed's view of the program: the settings are its own default; the user
// aircraft comes from the simulator link, so the weather is asked for where
// the user is, not for 0,0.
class AppFeedEnv final : public FeedEnv {
public:
    // The catalogue's Dbase; the readers start after the start-up reading,
    // the flag only guards a reader that outlived a failed one.
    std::optional<FeedDbaseRecord> lookupRegistration(std::string_view text) override {
        return lf_feedRecord(g_dbaseReady.load(std::memory_order_acquire) ? gf_lookupRegistration(text) : std::nullopt);
    }
    std::vector<std::string> registrationKeys(std::string_view registration) override {
        return gf_registrationKeys(registration);
    }
    std::optional<FeedDbaseRecord> findRegistrationKey(std::string_view key) override {
        return lf_feedRecord(g_dbaseReady.load(std::memory_order_acquire) ? gf_findRegistrationKey(key) : std::nullopt);
    }
    bool isKnownAcType(std::string_view type) override {
        return g_dbaseReady.load(std::memory_order_acquire) && gf_isKnownAcType(type);
    }
    FeedCategory acCategory(std::string_view type) override {
        return static_cast<FeedCategory>(
            g_dbaseReady.load(std::memory_order_acquire) ? static_cast<int>(gf_acCategory(type)) : 0);
    }

    FeedUserPosition userPosition() override {
        const UserAcData data = gf_userAcData();
        return FeedUserPosition{data.lat_deg, data.lon_deg, data.alt_ft};
    }
    FeedSettings settings() override {
        FeedSettings s = gf_feedSettingsFromCore();
        gf_addAirportFeedSettings(s);
        return s;
    }
    std::optional<FeedAirport> parkAirport() override { return gf_feedParkAirport(); }

    // The Traffic engine's door.
    void takeTrafficBatch(std::vector<FlightRecord>& batch, int delay_s) override {
        gf_engineTakeTrafficBatch(batch, delay_s);
    }
    void pushBlockedEvent(std::uint32_t hexid) override { gf_enginePushBlockedEvent(hexid); }
    void publishEngineQnh(int qnh_hpa) override { gf_enginePublishQnh(qnh_hpa); }
};
AppFeedEnv g_appFeedEnv;

void lf_wireSimLink(RunServices& s) {
    s.resetSimQueues = [] { gf_resetSimQueues(P3D_VERSION.value()); };
    s.startSimClient = [] { gf_startSimClientThread(); };
    s.requestSimClientStop = [] {
        gf_stopSimClientThread();
        // The connection's last word on the user's stand, as its end would
        // have given it.
        gf_checkUserParkingSpot();
    };
    s.joinSimClient = [] { gf_joinSimClientThread(); };
    s.simRunning = [] { return g_simRunning.load(); };
    s.requestError = [] { return g_requestError.load(); };
    s.takeSecondTick = [] { return g_secondTick.exchange(false); };
    s.secondTickPending = [] { return g_secondTick.load(); };
    s.requestUserOnGround = [] { return gf_requestUserOnGroundEverySecond(); };
    s.simRequestError = [] { gf_simRequestError(); };
    s.userOnGroundKnown = [] { return g_userOnGround.known.load(); };
    s.userOnGround = [] { return g_userOnGround.value.load(); };
    s.requestUserAcPosition = [] { gf_requestUserAcPosition(); };
    s.userPosition = lf_userPosition;
    s.requestUserAcTitleAndModel = [] { gf_requestUserAcTitleAndModel(); };
    s.simTime = [] { return g_simTime.load(); };
    s.createFlightPlanFolder = [] { gf_createFlightPlanFolder(); };
    s.removeFlightPlanFolder = [] { gf_removeFlightPlanFolder(); };
    s.clearRememberedLiveryTitles = [] { gf_clearRememberedLiveryTitles(); };
    s.clearAiPositionBuffers = [] { gf_clearAiPositionBuffers(); };
    s.resetSimLink = [] { gf_resetSimLink(P3D_VERSION.value()); };
}

void lf_wireFeed(RunServices& s) {
    s.updateTrafficBox = [] {
        const RunPosition user = lf_userPosition();
        gf_updateTrafficBox(g_trafficReader, user.lat, user.lon, g_rangeNm.load());
    };
    s.updateReaderLamps = [] { gf_updateReaderLamps(); };
    s.authenticate = [] { Authenticater(g_weatherReader, g_trafficReader); };
    // The worker alone writes and reads the session GUID.
    s.authenticated = [] { return !g_weatherReader.GUID.empty(); };
    s.startWeatherReader = [] { lf_startReader(g_readerThreads.weather, gf_weatherReader); };
    s.startTrafficReader = [] { lf_startReader(g_readerThreads.traffic, gf_trafficReader); };
    s.weatherReaderFinished = [] { return g_weatherReader.finished.load(); };
    s.trafficReaderFinished = [] { return g_trafficReader.finished.load(); };
    s.stopReaders = [] {
        g_weatherReader.stop = true;
        g_trafficReader.stop = true;
    };
    s.joinFinishedReaders = [] { lf_joinReaders(true); };
    // The session is closed on the Traffic Reader's client, which holds the
    // same GUID as the Weather Reader's.
    s.deauthenticate = [] { g_trafficReader.deauthenticate(); };
    s.qnhShown = [] { return g_qnhShown.load(); };
    s.trafficReaderReceiving = [] { return g_trafficReader.receiving.load(); };
    s.setTrafficFilterCentre = [](RunPosition p) {
        g_trafficReader.filterLat = p.lat;
        g_trafficReader.filterLon = p.lon;
    };
    s.raiseCollectFlag = [] { g_trafficReader.collect = true; };
    s.setReaderLamps = [](int lamp) {
        g_trafficLamp = lamp;
        g_weatherLamp = lamp;
        gf_uiSink().invalidateBand(UiBand::counters);
    };
    s.resetRtClients = [] {
        // A reader still busy after the closing down's wait has been told to
        // stop; its transfers are bounded, so this join ends.
        lf_joinReaders(false);
        gf_resetRtClients();
        g_qnhShown = 0;
    };
}

}  // namespace

RunServices gf_realRunServices() {
    RunServices services;
    gf_setFeedEnv(&g_appFeedEnv);
    services.checkParametersFile = [] { lf_checkParametersFile(); };
    lf_wireSimLink(services);
    lf_wireFeed(services);
    // The catalogue installs the simulator link's neighbours.
    lf_wireCatalogue(services);
    lf_wireLiveryScan(services);
    lf_wireAirports(services);
    lf_wireTraffic(services);
    lf_wireStaticTraffic(services);
    lf_wireWindow(services);
    lf_wireAirportScan(services);
    lf_wireUpdates(services);
    return services;
}

void gf_stopRunServiceThreads() {
    gf_stopSimClientThread();
    gf_joinSimClientThread();
    g_weatherReader.stop = true;
    g_trafficReader.stop = true;
    lf_joinReaders(false);
}
