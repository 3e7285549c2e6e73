#include "ui/win32/report_window.h"

#include <ctime>

#include "app/presenter.h"
#include "ui/win32/design_units.h"
#include "ui/win32/text_codec.h"

namespace vantrel::ui::win32 {

namespace {
using namespace layout::report_window;
// A title but no system menu and so no close button: whether the report is seen is the main window's
// decision, not the operator's.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_CLIPCHILDREN;
constexpr const wchar_t* kCaption = L"Report";
}  // namespace

TfrmProtocol::TfrmProtocol(HWND mainWindow) {
    const int dpi = WindowDpi(mainWindow);
    const SIZE outer = OuterSize(kStyle, 0, false, At96Ppi(kClientWidth, dpi), At96Ppi(kClientHeight, dpi), dpi);
    CreateNative(L"VantrelReport", 0, kStyle, kCaption, mainWindow, nullptr, outer.cx, outer.cy);
    // Screen readers name the report by the caption.
    CreateUnseenLabel(hwnd_, kCaption);
    Memo1 = CreateWindowExW(
        WS_EX_CLIENTEDGE, L"EDIT", L"",
        WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL,
        0, 0, 0, 0, hwnd_, nullptr, GetModuleHandleW(nullptr), nullptr);
    // The report grows for the whole job; the edit control's default limit would cut it off.
    SendMessageW(Memo1, EM_SETLIMITTEXT, 0, 0);
    UseDpi(dpi);
    if (mainWindow != nullptr) {
        RECT outline{};
        GetWindowRect(mainWindow, &outline);
        SetWindowPos(hwnd_, nullptr, outline.left, outline.bottom, outline.right - outline.left, outer.cy,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    Clear();
}

void TfrmProtocol::Add(const std::string& sLine) {
    std::wstring line = FromText(app::ReportLine(std::time(nullptr), sLine));
    if (GetWindowTextLengthW(Memo1) > 0) line.insert(0, L"\r\n");
    const LRESULT end = GetWindowTextLengthW(Memo1);
    SendMessageW(Memo1, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(Memo1, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    // The caret goes to the new line's start, not its end: after a line wider than the window the report
    // would otherwise stay scrolled sideways and cut off the start of every line after it.
    const LRESULT lastLine = SendMessageW(Memo1, EM_GETLINECOUNT, 0, 0) - 1;
    const LRESULT start = SendMessageW(Memo1, EM_LINEINDEX, static_cast<WPARAM>(lastLine), 0);
    SendMessageW(Memo1, EM_SETSEL, static_cast<WPARAM>(start), start);
    SendMessageW(Memo1, EM_SCROLLCARET, 0, 0);
}

void TfrmProtocol::Clear() { SetWindowTextW(Memo1, L""); }

std::vector<std::string> TfrmProtocol::Lines() const {
    const std::wstring text = WindowText(Memo1);
    std::vector<std::string> lines;
    if (text.empty()) return lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(L"\r\n", start);
        lines.push_back(ToUtf8(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start)));
        if (end == std::wstring::npos) break;
        start = end + 2;
    }
    return lines;
}

LRESULT TfrmProtocol::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE: MoveWindow(Memo1, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE); return 0;
        case WM_CLOSE:
            // Alt+F4 on the report: whether it is seen is the main window's decision.
            return 0;
        case WM_DPICHANGED: {
            UseDpi(HIWORD(wParam));
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        default: return WindowBase::HandleMessage(message, wParam, lParam);
    }
}

}  // namespace vantrel::ui::win32
