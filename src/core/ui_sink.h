// The window as the rest of the program sees it: a few small requests.
// The program's wiring installs the sink at start: in the Windows build the
// one that drives the real controls, natively one for a program without a
// window. Tests install a recording one. There is no silent default: a
// request before the installation stops the run (core/port_missing.h).
#pragma once

#include <string>
#include <vector>

enum class UiBand {
    header,
    counters,
    labels,
    lines,
    controls,
    status,
    all,
};

class UiSink {
public:
    virtual ~UiSink() = default;
    virtual void enableControl(int controlId, bool enabled) = 0;
    virtual void setCheck(int controlId, bool checked) = 0;
    virtual void fillCombo(int controlId, const std::vector<std::string>& items, int selected) = 0;
    virtual void selectCombo(int controlId, int selected) = 0;
    virtual void setText(int controlId, const std::string& text) = 0;
    virtual void invalidateBand(UiBand band) = 0;
    // Returns the button the user chose (IDOK 1, IDCANCEL 2, IDYES 6, IDNO 7).
    virtual int messageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
    // Whether the control is enabled.
    virtual bool controlEnabled(int controlId) = 0;
};

// The sink installed; stops the run when there is none.
UiSink& gf_uiSink();
// Installs a sink (nullptr uninstalls it). Not owned.
void gf_setUiSink(UiSink* sink);
// The whole window painted again.
void gf_repaintAll();
