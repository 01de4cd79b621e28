#include "app/wiring/feed_services.h"

#include "app/wiring/airport_services.h"
#include "app/wiring/traffic_services.h"

#include "catalogue/dbase.h"
#include "catalogue/dbase_queries.h"
#include "core/clock.h"
#include "core/exit_reason.h"
#include "core/status_line.h"
#include "core/ui_sink.h"
#include "feed/feed_env.h"
#include "simlink/sim_client.h"

#include <chrono>
#include <thread>

namespace {

std::optional<FeedDbaseRecord> lf_feedRecord(const std::optional<DbaseRecord>& record) {
    if (!record) return std::nullopt;
    return FeedDbaseRecord{record->airl, record->type, record->opr};
}

// The feed's view of the program: the user aircraft comes from the simulator
// link, so the weather is asked for where the user is, not for 0,0.
class AppFeedEnv final : public FeedEnv {
public:
    FeedSettings settings() override {
        FeedSettings s = gf_feedSettingsFromCore();
        gf_addAirportFeedSettings(s);
        return s;
    }

    void stopWithError(std::string_view name, bool restart) override { gf_stopWithError(name, restart); }
    void setStatusLine(const std::string& text, bool log) override { gf_setStatusLine(text, log); }
    void clearStatusLine() override { gf_clearStatusLine(); }
    // The lamps, the QNH and the authenticated mark are painted in the
    // counter band.
    void repaint() override { gf_uiSink().invalidateBand(UiBand::counters); }

    // The Traffic engine's door.
    void takeTrafficBatch(std::vector<FlightRecord>& batch, int delay_s) override {
        gf_engineTakeTrafficBatch(batch, delay_s);
    }
    void pushBlockedEvent(std::uint32_t hexid) override { gf_enginePushBlockedEvent(hexid); }
    void publishEngineQnh(int qnh_hpa) override { gf_enginePublishQnh(qnh_hpa); }

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
    std::optional<FeedAirport> parkAirport() override { return gf_feedParkAirport(); }

    void sleepMs(int ms) override {
        if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    std::int64_t systemTime() override { return gf_systemTime(); }
};

}  // namespace

void lf_wireFeed() {
    static AppFeedEnv env;
    gf_setFeedEnv(&env);
}
