// The run's livery scan wired to the catalogue's scan.
#include "app/wiring/catalogue_services.h"

#include "app/wiring/livery_scan_services.h"
#include "app/window_services.h"
#include "catalogue/catalogue.h"
#include "catalogue/livery_scan.h"
#include "core/ui_sink.h"

namespace {

class RealLiveryScanWindow final : public LiveryScanWindow {
public:
    bool openManual() override { return gf_openManual(); }
    bool openParametersFolder() override { return gf_openParametersFolder(); }
    void showLiveryCount(std::int32_t count) override {
        g_liveryCount = static_cast<std::size_t>(count);
        gf_uiSink().invalidateBand(UiBand::counters);
    }
};

}  // namespace

LiveryScanWindow& gf_realLiveryScanWindow() {
    static RealLiveryScanWindow window;
    return window;
}

void RealRunCatalogue::scanLiveries() { gf_scanLiveries(gf_realLiveryScanWindow()); }
