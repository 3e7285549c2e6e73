#include "ui/win32/design_units.h"

namespace vantrel::ui::win32 {

HFONT CreateDialogFont(int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    LOGFONTW font{};
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) font = metrics.lfMessageFont;
    else lstrcpynW(font.lfFaceName, L"Segoe UI", LF_FACESIZE);
    // The metrics come at the system's DPI; the height is taken from the point size at the window's DPI.
    font.lfHeight = -MulDiv(9, dpi, 72);
    font.lfWidth = 0;
    return CreateFontIndirectW(&font);
}

int WindowDpi(HWND window) {
    const UINT dpi = window != nullptr ? GetDpiForWindow(window) : 0;
    return dpi != 0 ? static_cast<int>(dpi) : kDefaultDpi;
}

SIZE OuterSize(DWORD style, DWORD exStyle, bool menu, int clientWidth, int clientHeight, int dpi) {
    RECT outline{0, 0, clientWidth, clientHeight};
    if (!AdjustWindowRectExForDpi(&outline, style, menu, exStyle, static_cast<UINT>(dpi))) {
        AdjustWindowRectEx(&outline, style, menu, exStyle);
    }
    return {outline.right - outline.left, outline.bottom - outline.top};
}

void SetChildFonts(HWND parent, HFONT font) {
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM value) -> BOOL {
            SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(value), TRUE);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(font));
}

}  // namespace vantrel::ui::win32
