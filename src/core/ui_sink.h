// The window as the rest of the program sees it: a few small requests.
// The Windows build installs a sink that drives the real controls; natively
// (and before the window exists) a silent sink stands in, and tests install a
// recording one.
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
    // Whether the control is enabled; a sink without controls says true.
    virtual bool controlEnabled(int controlId) { return true; }
};

// The sink in use; never null.
UiSink& gf_uiSink();
// Installs a sink (nullptr restores the silent one). Not owned.
void gf_setUiSink(UiSink* sink);
// The whole window painted again.
void gf_repaintAll();
