#include "core/ui_sink.h"

#include "core/port_missing.h"

#include <atomic>

namespace {

std::atomic<UiSink*> g_uiSink{nullptr};

}  // namespace

UiSink& gf_uiSink() {
    UiSink* sink = g_uiSink.load(std::memory_order_acquire);
    if (!sink) gf_portNotInstalled("the window's sink");
    return *sink;
}

void gf_setUiSink(UiSink* sink) { g_uiSink.store(sink, std::memory_order_release); }

void gf_repaintAll() { gf_uiSink().invalidateBand(UiBand::all); }
