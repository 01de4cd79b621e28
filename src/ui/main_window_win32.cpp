#include "ui/main_window.h"
#include "ui/window_fault.h"

#include "core/log.h"
#include "core/text_encoding.h"
#include "ui/window_command.h"
#include "ui/window_controls.h"
#include "ui/window_gdi.h"
#include "ui/window_paint.h"
#include "ui/window_placement.h"
#include "ui/window_state.h"

#include <fmt/format.h>

#include <exception>
#include <string>
#include <vector>

HWND g_mainWindow = nullptr;

namespace {

constexpr int kReadyLooks = 18;
constexpr DWORD kReadyLookStep_ms = 50;
constexpr COLORREF kControlBackground = RGB(153, 204, 255);

MainWindowActions g_actions;

BOOL CALLBACK lf_addMonitor(HMONITOR, HDC, LPRECT rect, LPARAM list) {
    reinterpret_cast<std::vector<ScreenRect>*>(list)->push_back({rect->left, rect->top, rect->right, rect->bottom});
    return TRUE;
}

// A position saved on a monitor that is gone, or beyond the edge of a
// smaller screen, would open the window where nobody sees it, start after
// start: it is brought onto the primary monitor.
void lf_keepOnAMonitor(int& x, int& y) {
    std::vector<ScreenRect> monitors;
    EnumDisplayMonitors(nullptr, nullptr, lf_addMonitor, reinterpret_cast<LPARAM>(&monitors));
    MONITORINFO primary{};
    primary.cbSize = sizeof primary;
    if (!GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &primary)) return;
    const RECT& work = primary.rcWork;
    const int savedX = x;
    const int savedY = y;
    gf_placeOnAMonitor(x, y, kMainWindowWidth, kMainWindowHeight, monitors,
                       {work.left, work.top, work.right, work.bottom});
    if (x != savedX || y != savedY)
        gf_logLine(fmt::format("Window position {},{} (MAIN_WINDOW_X, MAIN_WINDOW_Y) lies on no monitor: opened at {},{}",
                               savedX, savedY, x, y));
}

void lf_endProgram(HWND hwnd) {
    int exitCode = 0;
    if (g_actions.endProgram) {
        RECT rect{};
        GetWindowRect(hwnd, &rect);
        exitCode = g_actions.endProgram(rect.left, rect.top);
    }
    PostQuitMessage(exitCode);
}

void lf_startRun(HWND hwnd) {
    if (g_actions.startRun && g_actions.startRun()) return;
    lf_endProgram(hwnd);
}

// ---- Controls ----

std::string lf_getTextFromId(int id) {
    HWND control = g_mainWindow ? GetDlgItem(g_mainWindow, id) : nullptr;
    if (!control) {
        gf_logLine(fmt::format("GetDlgItem failed for ID {}", id));
        return {};
    }
    const int length = GetWindowTextLengthW(control);
    std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(control, buffer.data(), length + 1);
    buffer.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    try {
        return wide_to_utf8(buffer);
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{}: UTF-16 UTF-8 failed for id {}: {}", "lf_getTextFromId", id, e.what()));
        return {};
    }
}

// One entry procedure per edit, each passing its own id to the shared one.
LRESULT lf_editSubclassProc(int id, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const ControlSpec* spec = gf_findControl(id);
    if (message == WM_CHAR && wParam == 13) {
        if (g_actions.editEnter) g_actions.editEnter(id, lf_getTextFromId(id));
        return 0;
    }
    auto previous = reinterpret_cast<WNDPROC>(spec ? spec->binding->extra() : 0);
    if (!previous) return DefWindowProcW(hwnd, message, wParam, lParam);
    return CallWindowProcW(previous, hwnd, message, wParam, lParam);
}

template <int Id>
LRESULT CALLBACK lf_editEntry(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return lf_editSubclassProc(Id, hwnd, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

WNDPROC lf_editEntryFor(int id) {
    switch (id) {
    case 32788:
        return lf_editEntry<32788>;
    case 32828:
        return lf_editEntry<32828>;
    case 32839:
        return lf_editEntry<32839>;
    default:
        return nullptr;
    }
}

HWND lf_createControl(HWND parent, HINSTANCE instance, const ControlSpec& spec) {
    const DWORD common = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
    const wchar_t* cls = L"button";
    DWORD style = common;
    std::wstring text;
    switch (spec.kind) {
    case ControlKind::check:
        style |= BS_CHECKBOX;
        break;
    case ControlKind::button:
        style |= BS_DEFPUSHBUTTON;
        text = utf8_to_wide(spec.named->name());
        break;
    case ControlKind::edit:
        cls = L"Edit";
        style |= WS_BORDER | ES_AUTOHSCROLL;
        break;
    case ControlKind::combo:
        cls = L"ComboBox";
        style |= CBS_DROPDOWNLIST | WS_VSCROLL;
        break;
    }
    HWND hwnd = CreateWindowExW(0, cls, text.c_str(), style, spec.x, spec.createY(), spec.width, spec.createHeight(),
                                parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id())), instance, nullptr);
    if (!hwnd) return nullptr;
    // The painted labels' font: the system's default font of the controls
    // is too wide for their widths under Wine.
    if (HFONT font = gf_windowFont()) SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    spec.binding->setWindow(hwnd);
    if (spec.kind == ControlKind::check) {
        const auto* box = static_cast<const CheckBoxParameter*>(spec.named);
        SendMessageW(hwnd, BM_SETCHECK, box->value() ? BST_CHECKED : BST_UNCHECKED, 0);
    } else if (spec.kind == ControlKind::button || spec.kind == ControlKind::edit) {
        EnableWindow(hwnd, FALSE);
    }
    if (spec.kind == ControlKind::edit) {
        const LONG_PTR previous = SetWindowLongPtrW(hwnd, GWLP_WNDPROC,
                                                    reinterpret_cast<LONG_PTR>(lf_editEntryFor(spec.id())));
        spec.binding->setExtra(static_cast<std::uintptr_t>(previous));
    }
    return hwnd;
}

void lf_createControls(HWND hwnd, const CREATESTRUCTW* create) {
    for (const ControlSpec& spec : gf_controlTable()) lf_createControl(hwnd, create->hInstance, spec);
    const RECT controls{kControlsBand.left, kControlsBand.top, kControlsBand.right, kControlsBand.bottom};
    InvalidateRect(hwnd, &controls, TRUE);
}

// The combo's choice, with the item text read at its real length (texts such
// as the feed's callsigns have no length limit).
bool lf_comboSelection(HWND hwnd, int id, WindowCommand& command) {
    HWND combo = GetDlgItem(hwnd, id);
    if (!combo) return false;
    const LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return false;
    const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return false;
    std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT got =
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
    if (got == CB_ERR) return false;
    buffer.resize(static_cast<std::size_t>(got));
    command.index = static_cast<int>(index);
    command.text = wide_to_utf8(buffer);
    return true;
}

bool lf_onCommand(HWND hwnd, WPARAM wParam) {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    const ControlSpec* spec = gf_findControl(id);
    if (!spec || !g_actions.command) return false;
    WindowCommand command;
    command.id = id;
    switch (spec->kind) {
    case ControlKind::button:
        if (code != BN_CLICKED) return false;
        command.kind = WindowCommand::Kind::button;
        break;
    case ControlKind::check: {
        if (code != BN_CLICKED) return false;
        command.kind = WindowCommand::Kind::check;
        command.checked = IsDlgButtonChecked(hwnd, id) != BST_CHECKED;
        CheckDlgButton(hwnd, id, command.checked ? BST_CHECKED : BST_UNCHECKED);
        break;
    }
    case ControlKind::combo:
        if (code != CBN_SELCHANGE) return false;
        command.kind = WindowCommand::Kind::combo;
        try {
            if (!lf_comboSelection(hwnd, id, command)) return false;
        } catch (const std::exception& e) {
            gf_logHighlight(fmt::format("{} exception {}", "lf_HandleWMCOMMAND", e.what()));
            return false;
        }
        break;
    default:
        return false;
    }
    return g_actions.command(command);
}

// ---- Painting ----

bool lf_enabled(HWND hwnd, const ControlBinding& binding) {
    HWND control = GetDlgItem(hwnd, binding.controlId());
    return control && IsWindowEnabled(control);
}

void lf_paint(HWND hwnd, HDC dc) {
    DisplaySnapshot snapshot = gf_windowDisplaySnapshot();
    if (g_actions.fillLinkDisplay) g_actions.fillLinkDisplay(snapshot);
    snapshot.lightAircraftEnabled = lf_enabled(hwnd, LIGHT_AIRCRAFT);
    snapshot.helicoptersEnabled = lf_enabled(hwnd, HELICOPTERS);
    snapshot.highPerfEnabled = lf_enabled(hwnd, HIGH_PERF_AIRCRAFT);
    gf_drawOnDc(dc, gf_paintMainWindow(snapshot));
}

LRESULT lf_answerFault(HWND hwnd, UINT message, const char* what) {
    WindowMessageKind kind = WindowMessageKind::other;
    if (message == WM_CREATE) kind = WindowMessageKind::create;
    if (message == kWmStartRun) kind = WindowMessageKind::startRun;
    if (message == kWmEndProgram) kind = WindowMessageKind::endProgram;
    const WindowFaultAnswer answer = gf_windowFault(kind, what);
    if (answer.savePosition && g_actions.endProgram) {
        RECT rect{};
        GetWindowRect(hwnd, &rect);
        try {
            g_actions.endProgram(rect.left, rect.top);
        } catch (const std::exception& e) {
            gf_logHighlight(fmt::format("lf_mainWndProc: {}", e.what()));
        }
    }
    if (answer.quit) PostQuitMessage(answer.exitCode);
    return static_cast<LRESULT>(answer.result);
}

}  // namespace

void gf_setMainWindowActions(const MainWindowActions& actions) { g_actions = actions; }

bool initInstance(int, HINSTANCE instance, const wchar_t* title) {
    // The window's state is a global built before main; a window made before
    // it is complete would paint from half-built values.
    for (int i = 0; !g_mainWindowState.ready.load(); ++i) {
        if (i >= kReadyLooks) return false;
        Sleep(kReadyLookStep_ms);
    }
    int x = kMainWindowDefaultX;
    int y = kMainWindowDefaultY;
    if (g_actions.initialPosition) g_actions.initialPosition(x, y);
    lf_keepOnAMonitor(x, y);
    HWND hwnd = CreateWindowExW(0, title, title, WS_CAPTION | WS_SYSMENU, x, y, kMainWindowWidth, kMainWindowHeight,
                                nullptr, nullptr, instance, nullptr);
    if (!hwnd) return false;
    g_mainWindow = hwnd;
    ShowWindow(hwnd, SW_SHOW);
    return UpdateWindow(hwnd) != FALSE;
}

LRESULT CALLBACK lf_mainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // No exception may cross the window system: one that gets here is
    // logged and answered by gf_windowFault.
    try {
        switch (message) {
        case WM_CREATE:
            // GetDlgItem lookups of the controls' creation already need it.
            g_mainWindow = hwnd;
            lf_createControls(hwnd, reinterpret_cast<const CREATESTRUCTW*>(lParam));
            return 0;
        case WM_PAINT: {
            // A paint that failed still ends: else the window would ask for
            // the same paint again at once, for ever.
            struct PaintScope {
                HWND hwnd;
                PAINTSTRUCT ps{};
                HDC dc;
                explicit PaintScope(HWND h) : hwnd(h), dc(BeginPaint(h, &ps)) {}
                ~PaintScope() { EndPaint(hwnd, &ps); }
                PaintScope(const PaintScope&) = delete;
                PaintScope& operator=(const PaintScope&) = delete;
            } paint(hwnd);
            lf_paint(hwnd, paint.dc);
            return 0;
        }
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetBkMode(dc, OPAQUE);
            SetBkColor(dc, kControlBackground);
            return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
        }
        case WM_COMMAND:
            if (lParam != 0 && lf_onCommand(hwnd, wParam)) return 0;
            return DefWindowProcW(hwnd, message, wParam, lParam);
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_CLOSE:
            // The window stays: the run closes down and ends the program
            // with WM_APP+2. Without a run control to ask, it quits at once.
            if (g_actions.userClose) {
                g_actions.userClose();
            } else {
                PostQuitMessage(0);
            }
            return 0;
        case kWmStartRun:
            lf_startRun(hwnd);
            return 0;
        case kWmEndProgram:
            lf_endProgram(hwnd);
            return 0;
        case kWmUiCall:
            gf_runPostedUiCall(lParam);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
        }
    } catch (const std::exception& e) {
        return lf_answerFault(hwnd, message, e.what());
    } catch (...) {
        return lf_answerFault(hwnd, message, "unknown exception");
    }
}
