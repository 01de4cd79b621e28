// Test helper: looks at and operates the program's main window from another
// process, with the messages a user's clicks and keys produce.
//   window_probe list                 one line per child control
//   window_probe origin               the client area's top-left on screen
//   window_probe repaint              the whole window painted before it returns
//   window_probe click ID             BM_CLICK (a button's or box's click)
//   window_probe select ID INDEX      CB_SETCURSEL, then CBN_SELCHANGE to the window
//   window_probe enter ID TEXT        the edit's text, then Enter typed into it
//   window_probe text ID              the control's text
// Exit code 0 on success, 2 when the window or the control is missing.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

HWND lf_mainWindow() {
    for (int i = 0; i < 100; ++i) {
        if (HWND w = FindWindowW(L"GLIM_P3D", L"GLIM_P3D")) return w;
        Sleep(100);
    }
    return nullptr;
}

std::string lf_narrow(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring lf_wide(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::string lf_text(HWND w) {
    wchar_t buffer[1024] = {};
    SendMessageW(w, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer));
    return lf_narrow(buffer);
}

BOOL CALLBACK lf_listChild(HWND child, LPARAM parentParam) {
    HWND parent = reinterpret_cast<HWND>(parentParam);
    if (GetParent(child) != parent) return TRUE;
    wchar_t cls[64] = {};
    GetClassNameW(child, cls, 64);
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    const int checked = static_cast<int>(SendMessageW(child, BM_GETCHECK, 0, 0));
    std::printf("%s %d %ld %ld %ld %ld 0x%08lx %d %d %s\n", lf_narrow(cls).c_str(), GetDlgCtrlID(child), r.left, r.top,
                r.right - r.left, r.bottom - r.top, static_cast<unsigned long>(style), IsWindowEnabled(child) ? 1 : 0,
                checked, lf_text(child).c_str());
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 1;
    const std::string verb = argv[1];
    HWND main = lf_mainWindow();
    if (!main) {
        std::fprintf(stderr, "no main window\n");
        return 2;
    }
    if (verb == "list") {
        EnumChildWindows(main, lf_listChild, reinterpret_cast<LPARAM>(main));
        return 0;
    }
    if (verb == "repaint") {
        // What the window shows at this moment, not at its own next paint:
        // a text that is still shown is not painted again by itself.
        InvalidateRect(main, nullptr, TRUE);
        UpdateWindow(main);
        return 0;
    }
    if (verb == "origin") {
        POINT p{0, 0};
        ClientToScreen(main, &p);
        std::printf("%ld %ld\n", p.x, p.y);
        return 0;
    }
    if (argc < 3) return 1;
    const int id = std::atoi(argv[2]);
    HWND control = GetDlgItem(main, id);
    if (!control) {
        std::fprintf(stderr, "no control %d\n", id);
        return 2;
    }
    if (verb == "click") {
        SendMessageW(control, BM_CLICK, 0, 0);
    } else if (verb == "select" && argc >= 4) {
        SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(std::atoi(argv[3])), 0);
        SendMessageW(main, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(control));
    } else if (verb == "enter" && argc >= 4) {
        const std::wstring text = lf_wide(argv[3]);
        SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        SendMessageW(control, WM_CHAR, 13, 0);
    } else if (verb == "text") {
        std::printf("%s\n", lf_text(control).c_str());
    } else {
        return 1;
    }
    return 0;
}
