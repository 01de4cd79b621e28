#include "ui/window_gdi.h"

#include "core/log.h"
#include "core/text_encoding.h"
#include "ui/text_metrics.h"
#include "ui/window_text_boxes.h"

#include <fmt/format.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <string>

namespace {

COLORREF lf_colour(Rgb c) { return RGB(c.r, c.g, c.b); }

// The brushes and pens of the window, made once and kept for the process:
// the painting uses a handful of colours only.
struct GdiObjects {
    std::map<COLORREF, HBRUSH> brushes;
    std::map<COLORREF, HPEN> pens;

    HBRUSH brush(Rgb c) {
        auto& b = brushes[lf_colour(c)];
        if (!b) b = CreateSolidBrush(lf_colour(c));
        return b;
    }
    HPEN pen(Rgb c) {
        auto& p = pens[lf_colour(c)];
        if (!p) p = CreatePen(PS_SOLID, 1, lf_colour(c));
        return p;
    }
};
GdiObjects g_gdi;

std::wstring lf_wide(const std::string& text) {
    try {
        return utf8_to_wide(text);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("TextOut utf8  to wide failed for '{}': {}", text, e.what()));
        return {};
    }
}

int lf_length(const std::wstring& wide) {
    return wide.size() > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(wide.size());
}

// A text of any length, cut with "..." where the next item of its line
// begins.
void lf_textUpTo(HDC dc, const DrawOp& op) {
    const std::wstring wide = lf_wide(op.text);
    if (wide.empty()) return;
    const COLORREF previous = SetTextColor(dc, lf_colour(op.colour));
    RECT r{op.x1, op.y1, op.x2, op.y1 + kTextLineHeight + 4};
    DrawTextW(dc, wide.c_str(), lf_length(wide), &r, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    SetTextColor(dc, previous);
}

// The boxes of the painted texts for the end-to-end test, written whole.
void lf_writeTextBoxes(HDC dc, const DrawList& list) {
    static const std::optional<std::string> name = gf_textBoxesFileFromEnv();
    if (!name) return;
    const char* const file = name->c_str();
    std::string lines;
    for (const DrawOp& op : list) {
        if (op.kind != DrawOp::Kind::text || op.text.empty()) continue;
        int right = op.x1 + gf_textWidthOnDc(dc, op.text);
        if (op.x2 > op.x1) right = std::min(right, op.x2);
        lines += fmt::format("{} {} {} {} {}\n", op.x1, op.y1, right, op.y1 + kTextLineHeight, op.text);
    }
    const std::string temp = std::string(file) + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << lines;
    }
    MoveFileExA(temp.c_str(), file, MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

HFONT gf_windowFont() {
    static const HFONT font = CreateFontW(-kTextPixelHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                          VARIABLE_PITCH | FF_SWISS, kTextFace);
    return font;
}

int gf_textWidthOnDc(HDC dc, const std::string& text) {
    const std::wstring wide = lf_wide(text);
    SIZE size{};
    if (wide.empty() || !GetTextExtentPoint32W(dc, wide.c_str(), lf_length(wide), &size)) return 0;
    return size.cx;
}

void lf_textOut(HDC dc, int x, int y, const std::string& text, Rgb colour) {
    std::wstring wide;
    try {
        wide = utf8_to_wide(text);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("TextOut utf8  to wide failed for '{}': {}", text, e.what()));
        return;
    }
    const COLORREF previous = SetTextColor(dc, lf_colour(colour));
    const int length = wide.size() > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(wide.size());
    TextOutW(dc, x, y, wide.c_str(), length);
    SetTextColor(dc, previous);
}

void gf_drawOnDc(HDC dc, const DrawList& list) {
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ originalFont = gf_windowFont() ? SelectObject(dc, gf_windowFont()) : nullptr;
    HGDIOBJ originalPen = nullptr;
    for (const DrawOp& op : list) {
        switch (op.kind) {
        case DrawOp::Kind::fill: {
            const RECT r{op.x1, op.y1, op.x2, op.y2};
            FillRect(dc, &r, g_gdi.brush(op.colour));
            break;
        }
        case DrawOp::Kind::line: {
            HGDIOBJ previous = SelectObject(dc, g_gdi.pen(op.colour));
            if (!originalPen) originalPen = previous;
            const POINT points[2] = {{op.x1, op.y1}, {op.x2, op.y2}};
            Polyline(dc, points, 2);
            break;
        }
        case DrawOp::Kind::text:
            if (op.x2 > op.x1) {
                lf_textUpTo(dc, op);
            } else {
                lf_textOut(dc, op.x1, op.y1, op.text, op.colour);
            }
            break;
        }
    }
    lf_writeTextBoxes(dc, list);
    if (originalPen) SelectObject(dc, originalPen);
    if (originalFont) SelectObject(dc, originalFont);
}
