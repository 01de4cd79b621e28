// The font of the window's painted texts and controls, and a portable model
// of its text widths. The window asks for an 8-point sans-serif face;
// whichever face the system gives (Tahoma on Windows, a fallback under Wine),
// the model errs on the wide side, so a layout that fits the model fits the
// screen. The Win32 side measures the real font (window_gdi.h).
#pragma once

#include <string_view>

// The face asked for and its character height in pixels.
inline constexpr const wchar_t* kTextFace = L"Tahoma";
inline constexpr int kTextPixelHeight = 11;
// The height of one painted line (ascent and descent).
inline constexpr int kTextLineHeight = 13;

// Width in pixels of a UTF-8 text in the model: DejaVu Sans at the same
// height, every advance rounded up; a character outside ASCII counts as the
// widest one.
int gf_modelTextWidth(std::string_view utf8);
