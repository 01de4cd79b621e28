#include "ui/window_gdi.h"

#include "core/log.h"
#include "core/text_encoding.h"

#include <fmt/format.h>

#include <climits>
#include <map>

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

}  // namespace

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
            lf_textOut(dc, op.x1, op.y1, op.text, op.colour);
            break;
        }
    }
    if (originalPen) SelectObject(dc, originalPen);
}
