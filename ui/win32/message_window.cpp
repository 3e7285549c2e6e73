#include "ui/win32/message_window.h"

#include "ui/win32/design_units.h"
#include "ui/win32/operator_dialogs.h"
#include "ui/win32/text_codec.h"

namespace vantrel::ui::win32 {

namespace {
using namespace layout::message_window;
constexpr int kButtonHeight = 31;
constexpr int kInnerMargin = 5;
// A fixed dialog without any title-bar button: OK is the one way out.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
}  // namespace

TfrmMessage::TfrmMessage(HWND mainWindow, OperatorDialogs& dialogs) : dialogs_(dialogs), owner_(mainWindow) {
    constexpr const wchar_t* kCaption = L"Information";
    CreateNative(L"VantrelMessage", kExStyle, kStyle, kCaption, mainWindow, nullptr, 0, 0);
    const HINSTANCE module = GetModuleHandleW(nullptr);
    // Screen readers name the message's text by the caption.
    CreateUnseenLabel(hwnd_, kCaption);
    Memo1 = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                            WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0, 0,
                            0, hwnd_, nullptr, module, nullptr);
    Button1 = CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 0, 0,
                              hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), module, nullptr);
}

void TfrmMessage::Layout() {
    const int dpi = WindowDpi(owner_);
    UseDpi(dpi);
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int panel = At120Ppi(kPanelHeight, dpi);
    const int margin = At120Ppi(kInnerMargin, dpi);
    MoveWindow(Memo1, margin, margin, client.right - 2 * margin, client.bottom - panel - margin, TRUE);
    const int buttonHeight = At120Ppi(kButtonHeight, dpi);
    MoveWindow(Button1, 2 * margin, client.bottom - panel + (panel - buttonHeight) / 2, At120Ppi(kButtonWidth, dpi),
               buttonHeight, TRUE);
}

void TfrmMessage::showMsg(const std::string& sMsg, int x, int y, int w, int h) {
    const int dpi = WindowDpi(owner_);
    const SIZE own = OuterSize(kStyle, kExStyle, false, At120Ppi(kClientWidth, dpi), At120Ppi(kClientHeight, dpi), dpi);
    SetWindowPos(hwnd_, HWND_TOP, x + kMargin, y + h - own.cy - kMargin, w - 2 * kMargin, own.cy, SWP_NOACTIVATE);
    Layout();
    SetWindowTextW(Memo1, FromText(sMsg).c_str());
    SetFocus(Button1);
    dialogs_.RunModal(hwnd_, owner_);
}

std::string TfrmMessage::Text() const { return ToUtf8(WindowText(Memo1)); }

LRESULT TfrmMessage::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ACTIVATE:
            // OK has the focus whenever the window is active, so Enter answers it.
            if (LOWORD(wParam) != WA_INACTIVE) SetFocus(Button1);
            return 0;
        case WM_COMMAND:
            // OK, Enter and Escape close it; there is nothing else to answer.
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndModal(hwnd_, IDOK);
            return 0;
        case WM_CLOSE: EndModal(hwnd_, IDOK); return 0;
        default: return WindowBase::HandleMessage(message, wParam, lParam);
    }
}

}  // namespace vantrel::ui::win32
