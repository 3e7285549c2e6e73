#include "ui/win32/overview_window.h"

#include "ui/win32/win32.h"

#include <commctrl.h>

#include <algorithm>

#include "ui/win32/design_units.h"
#include "ui/win32/operator_dialogs.h"
#include "ui/win32/text_codec.h"

namespace vantrel::ui::win32 {

namespace {
using namespace layout::overview_window;
constexpr DWORD kStyle = WS_POPUP | WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
}  // namespace

TfrmInfo::TfrmInfo(HWND mainWindow, OperatorDialogs& dialogs) : dialogs_(dialogs), owner_(mainWindow) {
    const int dpi = WindowDpi(mainWindow);
    const SIZE outer = OuterSize(kStyle, kExStyle, false, At96Ppi(kClientWidth, dpi), At96Ppi(kClientHeight, dpi), dpi);
    constexpr const wchar_t* kCaption = L"Overview";
    CreateNative(L"VantrelOverview", kExStyle, kStyle, kCaption, mainWindow, nullptr, outer.cx, outer.cy);
    const HINSTANCE module = GetModuleHandleW(nullptr);
    // Screen readers name the list by the caption.
    CreateUnseenLabel(hwnd_, kCaption);
    // No sort header: clicking a column header does nothing.
    ListView1 = CreateWindowExW(
        WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, 0, 0, 0,
        0, hwnd_, nullptr, module, nullptr);
    ListView_SetExtendedListViewStyle(ListView1, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    for (std::size_t column = 0; column < app::kOverviewColumns.size(); ++column) {
        std::wstring title = FromText(app::kOverviewColumns[column]);
        LVCOLUMNW header{};
        header.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        header.pszText = title.data();
        header.cx = 60;
        header.iSubItem = static_cast<int>(column);
        SendMessageW(ListView1, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&header));
    }
    Button1 = CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 0, 0,
                              hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), module, nullptr);
}

void TfrmInfo::AddOverviewRow(const app::OverviewRow& row) {
    const int index = static_cast<int>(SendMessageW(ListView1, LVM_GETITEMCOUNT, 0, 0));
    for (std::size_t column = 0; column < row.size(); ++column) {
        std::wstring text = FromText(row[column]);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = index;
        item.iSubItem = static_cast<int>(column);
        item.pszText = text.data();
        SendMessageW(ListView1, column == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, column == 0 ? 0 : index,
                     reinterpret_cast<LPARAM>(&item));
    }
}

std::vector<app::OverviewRow> TfrmInfo::Rows() const {
    std::vector<app::OverviewRow> rows;
    const int count = static_cast<int>(SendMessageW(ListView1, LVM_GETITEMCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        app::OverviewRow row;
        for (std::size_t column = 0; column < row.size(); ++column) {
            wchar_t text[256] = {};
            LVITEMW item{};
            item.iSubItem = static_cast<int>(column);
            item.pszText = text;
            item.cchTextMax = 256;
            SendMessageW(ListView1, LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
            row[column] = ToUtf8(text);
        }
        rows.push_back(row);
    }
    return rows;
}

void TfrmInfo::Layout() {
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int panel = At96Ppi(kPanelHeight, Dpi());
    MoveWindow(ListView1, 0, 0, client.right, std::max(0, static_cast<int>(client.bottom) - panel), TRUE);
    MoveWindow(Button1, At96Ppi(kCloseButton.left, Dpi()), client.bottom - panel + At96Ppi(kCloseButton.top, Dpi()),
               At96Ppi(kCloseButton.width, Dpi()), At96Ppi(kCloseButton.height, Dpi()), TRUE);
}

int TfrmInfo::Execute(const std::vector<app::OverviewRow>& rows, int ALeft, int ATop, int AHeight) {
    const int dpi = WindowDpi(owner_);
    UseDpi(dpi);
    SendMessageW(ListView1, LVM_DELETEALLITEMS, 0, 0);
    for (const app::OverviewRow& row : rows) AddOverviewRow(row);
    // Auto-sizing the last column to its header fills whatever room the list has left; with no room left it
    // measures only the header.
    SetWindowPos(ListView1, nullptr, 0, 0, 1, 100, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    const int columns = AutoSizeColumns(ListView1);
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectExForDpi(&frame, kStyle, FALSE, kExStyle, static_cast<UINT>(dpi));
    // The list's own border and the space a vertical scroll bar takes are inside the slack.
    const int outerWidth = columns + kWindowSlack + (frame.right - frame.left);
    SetWindowPos(hwnd_, HWND_TOP, ALeft, ATop, outerWidth, AHeight, SWP_NOACTIVATE);
    Layout();
    SetFocus(Button1);
    return dialogs_.RunModal(hwnd_, owner_);
}

int AutoSizeColumns(HWND list) {
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int count = header != nullptr ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    int sum = 0;
    for (int column = 0; column < count; ++column) {
        SendMessageW(list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
        const int withHeader = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
        SendMessageW(list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(LVSCW_AUTOSIZE, 0));
        const int contentOnly = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
        const int width = std::max(withHeader, contentOnly) + kColumnSlack;
        SendMessageW(list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0));
        sum += width;
    }
    return sum;
}

LRESULT TfrmInfo::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ACTIVATE:
            // OK has the focus whenever the window is active, so Enter answers it.
            if (LOWORD(wParam) != WA_INACTIVE) SetFocus(Button1);
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) EndModal(hwnd_, IDOK);
            if (LOWORD(wParam) == IDCANCEL) EndModal(hwnd_, IDCANCEL);
            return 0;
        case WM_CLOSE:
            // Hidden, not destroyed: the overview lives as long as the program.
            EndModal(hwnd_, IDCANCEL);
            return 0;
        case WM_SIZE:
            if (ListView1 != nullptr) Layout();
            return 0;
        default: return WindowBase::HandleMessage(message, wParam, lParam);
    }
}

}  // namespace vantrel::ui::win32
