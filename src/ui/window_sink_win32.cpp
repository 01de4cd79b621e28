// The UI sink of the real window. Called from every thread. A request from
// another thread is posted to the main thread and done there in order: no
// thread ever waits for the main thread (which may itself be waiting for a
// lock that thread holds), and the worker's start of a run is not slowed by
// a busy window. Invalidation never waits either, so a caller may hold the
// status line's lock while it invalidates.
#include "ui/main_window.h"

#include "core/log.h"
#include "core/text_encoding.h"
#include "core/ui_sink.h"
#include "ui/window_paint.h"

#include <fmt/format.h>

#include <functional>
#include <map>
#include <mutex>
#include <memory>

namespace {

HWND lf_control(int id) {
    if (!g_mainWindow) return nullptr;
    HWND control = GetDlgItem(g_mainWindow, id);
    if (!control) gf_logLine(fmt::format("GetDlgItem failed for ID {}", id));
    return control;
}

std::wstring lf_wide(const std::string& text) {
    try {
        return utf8_to_wide(text);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("utf8_to_wide failed for '{}': {}", text, e.what()));
        return {};
    }
}

RECT lf_rect(const BandRect& b) { return RECT{b.left, b.top, b.right, b.bottom}; }

// Runs the call on the window's thread: at once when already there, else
// posted. A window that is gone drops it.
void lf_onWindowThread(std::function<void()> call) {
    HWND w = g_mainWindow;
    if (!w) return;
    if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId()) {
        call();
        return;
    }
    auto posted = std::make_unique<std::function<void()>>(std::move(call));
    if (PostMessageW(w, kWmUiCall, 0, reinterpret_cast<LPARAM>(posted.get()))) posted.release();
}

class Win32UiSink final : public UiSink {
public:
    void enableControl(int id, bool enabled) override {
        {
            std::lock_guard lock(m_enabledMutex);
            m_enabled[id] = enabled;
        }
        lf_onWindowThread([id, enabled] {
            if (HWND c = lf_control(id)) EnableWindow(c, enabled ? TRUE : FALSE);
        });
    }
    void setCheck(int id, bool checked) override {
        lf_onWindowThread([id, checked] {
            if (HWND c = lf_control(id)) SendMessageW(c, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
        });
    }
    void fillCombo(int id, const std::vector<std::string>& items, int selected) override {
        lf_onWindowThread([id, items, selected] {
            HWND c = lf_control(id);
            if (!c) return;
            SendMessageW(c, CB_RESETCONTENT, 0, 0);
            for (const std::string& item : items) {
                const std::wstring w = lf_wide(item);
                SendMessageW(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str()));
            }
            SendMessageW(c, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
        });
    }
    void selectCombo(int id, int selected) override {
        lf_onWindowThread([id, selected] {
            if (HWND c = lf_control(id)) SendMessageW(c, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
        });
    }
    void setText(int id, const std::string& text) override {
        lf_onWindowThread([this, id, text] {
            HWND c = lf_control(id);
            if (!c) return;
            const std::wstring w = lf_wide(text);
            SetWindowTextW(c, w.c_str());
            invalidateBand(UiBand::controls);
        });
    }
    void invalidateBand(UiBand band) override {
        HWND w = g_mainWindow;
        if (!w) return;
        RECT r{};
        switch (band) {
        case UiBand::header:
            r = lf_rect(kHeaderBand);
            break;
        case UiBand::counters:
            r = lf_rect(kCounterBand);
            break;
        case UiBand::labels:
        case UiBand::controls:
            r = lf_rect(kControlsBand);
            break;
        case UiBand::lines:
            r = lf_rect(kStateBand);
            break;
        case UiBand::status:
            r = lf_rect(kStatusBand);
            break;
        case UiBand::all:
            InvalidateRect(w, nullptr, TRUE);
            return;
        }
        InvalidateRect(w, &r, TRUE);
    }
    int messageBox(const std::string& text, const std::string& caption, unsigned flags) override {
        return MessageBoxW(nullptr, lf_wide(text).c_str(), lf_wide(caption).c_str(), flags);
    }
    // The state last asked for (it may still wait in the window's queue),
    // else the control's own.
    bool controlEnabled(int id) override {
        {
            std::lock_guard lock(m_enabledMutex);
            if (const auto it = m_enabled.find(id); it != m_enabled.end()) return it->second;
        }
        HWND c = lf_control(id);
        return c && IsWindowEnabled(c);
    }

private:
    std::mutex m_enabledMutex;
    std::map<int, bool> m_enabled;
};

Win32UiSink g_win32Sink;

}  // namespace

UiSink& gf_win32UiSink() { return g_win32Sink; }

void gf_runPostedUiCall(LPARAM call) {
    std::unique_ptr<std::function<void()>> owned(reinterpret_cast<std::function<void()>*>(call));
    if (owned && *owned) (*owned)();
}
