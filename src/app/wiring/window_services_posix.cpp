// Natively there is no window: nothing to post to, nothing to raise, nothing
// to paint.
#include "app/wiring/window_services.h"

#include "core/ui_sink.h"

namespace {

class NoWindowSink final : public UiSink {
public:
    void enableControl(int, bool) override {}
    void setCheck(int, bool) override {}
    void fillCombo(int, const std::vector<std::string>&, int) override {}
    void selectCombo(int, int) override {}
    void setText(int, const std::string&) override {}
    void invalidateBand(UiBand) override {}
    // No one to ask: the first choice, as a box closed with Enter gives.
    int messageBox(const std::string&, const std::string&, unsigned) override { return 1; }
    bool controlEnabled(int) override { return true; }
};

}  // namespace

UiSink& lf_programWindowSink() {
    static NoWindowSink sink;
    return sink;
}

void RealRunWindow::postToWindow(RunMessage) {}

void RealRunWindow::setWindowTopmost(bool) {}

void lf_fillLinkDisplay(DisplaySnapshot&) {}
