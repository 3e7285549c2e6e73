// The main window's half that the controller talks to (MainWindowView): what each of its calls does to
// the system's controls. The window's creation, layout and events are in main_window.cpp.
#include "ui/win32/main_window.h"

#include "ui/win32/win32.h"

#include <commctrl.h>

#include <algorithm>

#include "ui/win32/design_units.h"
#include "ui/win32/message_window.h"
#include "ui/win32/operator_dialogs.h"
#include "ui/win32/overview_window.h"
#include "ui/win32/report_window.h"
#include "ui/win32/text_codec.h"

namespace vantrel::ui::win32 {

namespace {
// The time left takes the status bar's right part, as wide as its text and this room for the part's edges
// and the size grip, at 96 pixels per inch; the status text keeps the rest.
constexpr int kTimeLeftRoom = 24;
// The port box's items, at 96 pixels per inch: the text's distance from the item's edges, and the gap
// between the widest name and the adapter's text.
constexpr int kPortItemMargin = 3;
constexpr int kPortColumnGap = 16;
}  // namespace

HWND TfrmMain::ControlWindow(Control control) const {
    switch (control) {
        case Control::PortBox: return cbxPort_;
        case Control::Update: return btnProg_;
        case Control::File: return btnFile_;
        case Control::Cancel: return btnCancel_;
        case Control::Close: return btnClose_;
        case Control::ReadInfoOnly: return chkReadInfoOnly_;
        default: return nullptr;  // the menu entries
    }
}

void TfrmMain::SetEnabled(Control control, bool enabled) {
    if (const HWND window = ControlWindow(control)) {
        EnableWindow(window, enabled);
        return;
    }
    EnableMenuItem(menInfo_, control == Control::MenuFirmware ? kMenInfoFirmware : kMenInfoFile,
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void TfrmMain::SetVisible(Control control, bool visible) {
    if (const HWND window = ControlWindow(control)) {
        ShowWindow(window, visible ? SW_SHOW : SW_HIDE);
        return;
    }
    // A menu entry cannot be hidden; where File version is not offered it is not there at all.
    const bool present = GetMenuState(menInfo_, kMenInfoFile, MF_BYCOMMAND) != static_cast<UINT>(-1);
    if (control != Control::MenuFileVersion || present == visible) return;
    if (visible) InsertMenuW(menInfo_, 1, MF_BYPOSITION | MF_STRING, kMenInfoFile, L"File version");
    else DeleteMenu(menInfo_, kMenInfoFile, MF_BYCOMMAND);
}

void TfrmMain::SetFocus(Control control) {
    // Kept for the window's next activation when a box of the program has the keys now.
    focus_ = ControlWindow(control);
    if (focus_ != nullptr && GetActiveWindow() == hwnd_) ::SetFocus(focus_);
}

void TfrmMain::SetText(Text which, const std::string& text) {
    switch (which) {
        case Text::Caption: SetWindowTextW(hwnd_, FromText(text).c_str()); break;
        case Text::InfoMenu:
            ModifyMenuW(GetMenu(hwnd_), 0, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(menInfo_),
                        FromText(text).c_str());
            DrawMenuBar(hwnd_);
            break;
        case Text::Status:
            statusText_ = FromText(text);
            ShowStatus();
            break;
        case Text::TimeLeft:
            timeLeftText_ = FromText(text);
            ShowStatus();
            break;
    }
}

void TfrmMain::ShowStatus() {
    RECT client{};
    GetClientRect(hwnd_, &client);
    // The time left has a part of its own at the right only while there is one.
    const int timeLeftWidth = timeLeftText_.empty()
                                  ? 0
                                  : TextWidth(StatusBar1_, timeLeftText_) + At96Ppi(kTimeLeftRoom, Dpi());
    const int parts[] = {timeLeftText_.empty() ? -1 : int(client.right) - timeLeftWidth, -1};
    SendMessageW(StatusBar1_, SB_SETPARTS, timeLeftText_.empty() ? 1 : 2, reinterpret_cast<LPARAM>(parts));
    SendMessageW(StatusBar1_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(statusText_.c_str()));
    if (!timeLeftText_.empty())
        SendMessageW(StatusBar1_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(timeLeftText_.c_str()));
    StatusTip(TTM_UPDATETIPTEXTW, statusText_.data(), 0);
}

void TfrmMain::StatusTip(UINT message, wchar_t* text, WPARAM size) const {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = message == TTM_ADDTOOLW ? TTF_IDISHWND | TTF_SUBCLASS : 0;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(StatusBar1_);
    tool.lpszText = text;
    SendMessageW(statusTip_, message, size, reinterpret_cast<LPARAM>(&tool));
}

std::string TfrmMain::StatusText() const {
    const int length = LOWORD(SendMessageW(StatusBar1_, SB_GETTEXTLENGTHW, 0, 0));
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(StatusBar1_, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return ToUtf8(text);
}

std::string TfrmMain::StatusHint() const {
    std::vector<wchar_t> text(1024, L'\0');
    StatusTip(TTM_GETTEXTW, text.data(), text.size());
    return ToUtf8(text.data());
}

void TfrmMain::SetChecked(Control control, bool checked) {
    SendMessageW(ControlWindow(control), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TfrmMain::Checked(Control control) const {
    return SendMessageW(ControlWindow(control), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TfrmMain::LayOutUpdateButtons(bool fileButton) {
    fileButtons_ = fileButton;
    Layout();
}

void TfrmMain::ReplaceDialogTexts(const DialogTexts& texts) {
    ReplaceDialogText(DialogText::ConfirmCaption, FromText(texts.caption));
    ReplaceDialogText(DialogText::YesButton, FromText(texts.yes));
    ReplaceDialogText(DialogText::NoButton, FromText(texts.no));
}

std::string TfrmMain::PortText() const { return ToUtf8(WindowText(cbxPort_)); }

void TfrmMain::SetPortItems(const std::vector<std::string>& names, bool selectFirst) {
    // The text names the port of the next job, even when that port is gone or was never listed.
    const std::wstring text = WindowText(cbxPort_);
    SendMessageW(cbxPort_, CB_RESETCONTENT, 0, 0);
    // The adapters' texts belong to the items they came with.
    portDescriptions_.clear();
    for (const std::string& name : names) {
        SendMessageW(cbxPort_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FromText(name).c_str()));
    }
    if (selectFirst && !names.empty()) SendMessageW(cbxPort_, CB_SETCURSEL, 0, 0);
    if (!selectFirst) SetWindowTextW(cbxPort_, text.c_str());
}

void TfrmMain::SetPortItemDescriptions(const std::vector<std::string>& descriptions) {
    portDescriptions_.clear();
    for (const std::string& description : descriptions) portDescriptions_.push_back(FromText(description));
    ArrangePortColumns();
    InvalidateRect(cbxPort_, nullptr, TRUE);
}

void TfrmMain::ArrangePortColumns() {
    const int margin = At96Ppi(kPortItemMargin, Dpi());
    int widestName = 0;
    const int count = static_cast<int>(SendMessageW(cbxPort_, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) widestName = std::max(widestName, TextWidth(cbxPort_, ComboItemText(cbxPort_, i)));
    int widestDescription = 0;
    for (const std::wstring& description : portDescriptions_)
        widestDescription = std::max(widestDescription, TextWidth(cbxPort_, description));
    portDescriptionLeft_ = margin + widestName + At96Ppi(kPortColumnGap, Dpi());
    // The list may be wider than the box, so that the adapter's text is seen whole (as far as the screen
    // allows); it is never narrower.
    RECT box{};
    GetWindowRect(cbxPort_, &box);
    int listWidth = box.right - box.left;
    if (widestDescription > 0) {
        listWidth = std::max(listWidth,
                             portDescriptionLeft_ + widestDescription + margin + GetSystemMetrics(SM_CXVSCROLL));
    }
    SendMessageW(cbxPort_, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(listWidth), 0);
}

void TfrmMain::DrawPortItem(const DRAWITEMSTRUCT& item) const {
    if (item.itemID == static_cast<UINT>(-1)) return;  // an empty list has nothing to draw
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const HDC dc = item.hDC;
    FillRect(dc, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(cbxPort_, WM_GETFONT, 0, 0)));
    const int mode = SetBkMode(dc, TRANSPARENT);
    const COLORREF colour = GetTextColor(dc);
    const auto index = static_cast<int>(item.itemID);
    const std::wstring name = ComboItemText(cbxPort_, index);
    constexpr UINT kFormat = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
    RECT text = item.rcItem;
    text.left += At96Ppi(kPortItemMargin, Dpi());
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    DrawTextW(dc, name.c_str(), static_cast<int>(name.size()), &text, kFormat);
    const auto slot = static_cast<std::size_t>(index);
    if (slot < portDescriptions_.size() && !portDescriptions_[slot].empty()) {
        text.left = item.rcItem.left + portDescriptionLeft_;
        SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_GRAYTEXT));
        DrawTextW(dc, portDescriptions_[slot].c_str(), static_cast<int>(portDescriptions_[slot].size()), &text,
                  kFormat);
    }
    SetTextColor(dc, colour);
    SetBkMode(dc, mode);
    SelectObject(dc, previous);
    if ((item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0) DrawFocusRect(dc, &item.rcItem);
}

void TfrmMain::DropDownPortList() {
    if (SendMessageW(cbxPort_, CB_GETDROPPEDSTATE, 0, 0)) SendMessageW(cbxPort_, CB_SHOWDROPDOWN, FALSE, 0);
    InvalidateRect(cbxPort_, nullptr, TRUE);
    SendMessageW(cbxPort_, CB_SHOWDROPDOWN, TRUE, 0);
}

void TfrmMain::SetProgress(int position) { SendMessageW(ProgressBar1_, PBM_SETPOS, position, 0); }

void TfrmMain::SetTaskbarProgress(TaskbarProgress state, int position) {
    taskbarState_ = state;
    taskbarPosition_ = position;
    if (taskbarButton_ != nullptr) taskbarButton_->Show(state, position);
}

int TfrmMain::Progress() const { return static_cast<int>(SendMessageW(ProgressBar1_, PBM_GETPOS, 0, 0)); }

void TfrmMain::SetHourglass(bool on) { ShowHourglass(on); }

void TfrmMain::Beep() { MessageBeep(MB_OK); }

void TfrmMain::RequestAttention() {
    FLASHWINFO flash{sizeof flash, hwnd_, FLASHW_TRAY | FLASHW_TIMERNOFG, 0, 0};
    FlashWindowEx(&flash);
}

void TfrmMain::AddReport(const std::string& text) {
    if (frmProtocol_ != nullptr) frmProtocol_->Add(text);
}

void TfrmMain::ClearReport() {
    if (frmProtocol_ != nullptr) frmProtocol_->Clear();
}

void TfrmMain::SetReportVisible(bool visible) {
    if (frmProtocol_ == nullptr) return;
    ShowWindow(frmProtocol_->Handle(), visible ? SW_SHOWNOACTIVATE : SW_HIDE);
    DockReportWindow();
}

void TfrmMain::ShowMessage(const std::string& text) {
    if (frmMessage_ == nullptr) {
        // Before the message window exists: the system's box, centred on the screen.
        MessageBoxW(nullptr, FromText(text).c_str(), FromText(app::kApplicationTitle).c_str(),
                    MB_OK | MB_ICONINFORMATION);
        return;
    }
    RECT outline{};
    GetWindowRect(hwnd_, &outline);
    frmMessage_->showMsg(text, outline.left, outline.top, outline.right - outline.left, outline.bottom - outline.top);
}

void TfrmMain::ShowOverview(const std::vector<app::OverviewRow>& rows) {
    if (frmInfo_ == nullptr) return;
    RECT outline{};
    GetWindowRect(hwnd_, &outline);
    frmInfo_->Execute(rows, outline.left, outline.top, outline.bottom - outline.top);
}

bool TfrmMain::AskYesNo(const std::string& question) { return dialogs_.Confirm(hwnd_, FromText(question)); }

std::optional<std::filesystem::path> TfrmMain::ChooseFile(const std::filesystem::path& initialPath) {
    const std::wstring file = dialogs_.PickFile(hwnd_, initialPath.wstring());
    if (file.empty()) return std::nullopt;
    return std::filesystem::path(file);
}

std::filesystem::path TfrmMain::ProgramFile() const {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

void TfrmMain::StartTimer(Timer timer, std::chrono::milliseconds delay, std::function<void()> expired) {
    if (timer == Timer::Restart && restartTimer_) return restartTimer_(delay, std::move(expired));
    const auto slot = static_cast<std::size_t>(timer);
    timers_[slot] = std::move(expired);
    SetTimer(hwnd_, slot + 1, static_cast<UINT>(delay.count()), nullptr);
}

void TfrmMain::StopTimer(Timer timer) {
    KillTimer(hwnd_, static_cast<std::size_t>(timer) + 1);
    timers_[static_cast<std::size_t>(timer)] = nullptr;
}

}  // namespace vantrel::ui::win32
