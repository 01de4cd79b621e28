// Executes a draw list of the main window on a Win32 device context.
#pragma once

#ifdef _WIN32
#include "ui/window_paint.h"

#include <windows.h>

// Draws the list in the window's font (text_metrics.h). When the environment
// names a file in GLIM_TEXT_BOXES (the end-to-end test; a bare .txt name, see
// window_text_boxes.h), every painted text's box as drawn is written there:
// "left top right bottom text" per line.
void gf_drawOnDc(HDC dc, const DrawList& list);
// The font of the painted texts and of the controls; made once.
HFONT gf_windowFont();
// The width in pixels of a UTF-8 text in the font selected into dc.
int gf_textWidthOnDc(HDC dc, const std::string& text);
// Draws UTF-8 text at (x, y) in colour, the previous text colour restored.
void lf_textOut(HDC dc, int x, int y, const std::string& text, Rgb colour);
#endif
