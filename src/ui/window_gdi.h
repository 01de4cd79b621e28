// Executes a draw list of the main window on a Win32 device context.
#pragma once

#ifdef _WIN32
#include "ui/window_paint.h"

#include <windows.h>

void gf_drawOnDc(HDC dc, const DrawList& list);
// Draws UTF-8 text at (x, y) in colour, the previous text colour restored.
void lf_textOut(HDC dc, int x, int y, const std::string& text, Rgb colour);
#endif
