// The window for the test programs that do not look at it (unit tests,
// fuzz targets, benchmarks): every request is taken and nothing is shown.
// The program's wiring installs the real window's sink at start and there is
// no default one, so such a program installs this one first.
#pragma once

#include "core/ui_sink.h"

class WindowStandIn final : public UiSink {
public:
    void enableControl(int, bool) override {}
    void setCheck(int, bool) override {}
    void fillCombo(int, const std::vector<std::string>&, int) override {}
    void selectCombo(int, int) override {}
    void setText(int, const std::string&) override {}
    void invalidateBand(UiBand) override {}
    int messageBox(const std::string&, const std::string&, unsigned) override { return 1; }
    bool controlEnabled(int) override { return true; }

    // The one stand-in of the program, installed.
    static WindowStandIn& installed() {
        static WindowStandIn standIn;
        gf_setUiSink(&standIn);
        return standIn;
    }
};
