// Window layouts are written in the units they were designed in, and every window is scaled by the DPI
// of the monitor it is on: a layout designed at 120 pixels per inch takes dpi/120 device pixels a unit,
// one designed at 96 pixels per inch dpi/96, rounded to the nearest pixel.
#pragma once

#include "ui/win32/win32.h"
#include "ui/window_layout.h"

namespace vantrel::ui::win32 {

constexpr int kDefaultDpi = 96;

constexpr int Scale(int units, int designDpi, int dpi) { return (units * dpi + designDpi / 2) / designDpi; }
constexpr int At120Ppi(int units, int dpi) { return Scale(units, 120, dpi); }
constexpr int At96Ppi(int units, int dpi) { return Scale(units, 96, dpi); }

inline RECT Design120(const layout::DesignRect& r, int dpi) {
    const int l = At120Ppi(r.left, dpi), t = At120Ppi(r.top, dpi);
    return {l, t, l + At120Ppi(r.width, dpi), t + At120Ppi(r.height, dpi)};
}

// The dialog font at dpi: the system's message font, 9 points.
HFONT CreateDialogFont(int dpi);

// The window's DPI as the system tells it; 96 where it cannot.
int WindowDpi(HWND window);

// The outer size of a window of the given style whose client area is clientWidth x clientHeight at dpi.
SIZE OuterSize(DWORD style, DWORD exStyle, bool menu, int clientWidth, int clientHeight, int dpi);

// Sets font on every child of parent.
void SetChildFonts(HWND parent, HFONT font);

}  // namespace vantrel::ui::win32
