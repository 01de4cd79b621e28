#include "core/ui_sink.h"

#include <atomic>

namespace {

class SilentSink final : public UiSink {
public:
    void enableControl(int, bool) override {}
    void setCheck(int, bool) override {}
    void fillCombo(int, const std::vector<std::string>&, int) override {}
    void selectCombo(int, int) override {}
    void setText(int, const std::string&) override {}
    void invalidateBand(UiBand) override {}
    int messageBox(const std::string&, const std::string&, unsigned) override { return 1; }
};

SilentSink g_silentSink;
std::atomic<UiSink*> g_uiSink{&g_silentSink};

}  // namespace

UiSink& gf_uiSink() { return *g_uiSink.load(std::memory_order_acquire); }

void gf_setUiSink(UiSink* sink) {
    g_uiSink.store(sink ? sink : &g_silentSink, std::memory_order_release);
}

void gf_repaintAll() { gf_uiSink().invalidateBand(UiBand::all); }
