#include "ui/win32/main_window.h"

#include "ui/win32/win32.h"

#include <commctrl.h>
#include <dbt.h>

#include <algorithm>
#include <exception>
#include <optional>
#include <vector>

#include "engine/notify.h"
#include "engine/option_flags.h"
#include "firmware/catalogue.h"
#include "firmware/image_file.h"
#include "ui/job_rules.h"
#include "ui/options.h"
#include "ui/win32/design_units.h"
#include "ui/win32/message_window.h"
#include "ui/win32/operator_dialogs.h"
#include "ui/win32/overview_window.h"
#include "ui/win32/report_window.h"
#include "ui/win32/text_codec.h"

namespace vantrel::ui::win32 {

namespace {

// Layout as designed at 120 pixels per inch.
namespace design = layout::main_window;
constexpr int kPortListHeight = 200;
// A static control and a check box need a size; these hold "Comport:" and the box with its text at the
// dialog font.
constexpr int kPortLabelWidth = 72;
constexpr int kTextHeight = 20;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
constexpr UINT_PTR kRestartTimerId = 1;
constexpr UINT kFirstIdleMessage = WM_APP + 1;

// Runs on the worker's thread with the registry locked: it only posts. The window unregisters before it
// is destroyed, so once it is gone no post reaches it; a post to a handle that is no longer a window is
// dropped by the system all the same.
class WindowTarget final : public engine::NotificationTarget {
public:
    explicit WindowTarget(HWND window) : window_(window) {}
    void Post(const engine::Notification& notification) override {
        PostMessageW(window_, NotificationMessage(), notification.code, static_cast<LPARAM>(notification.value));
    }

private:
    HWND window_;
};

void MoveControl(HWND control, const RECT& r) {
    MoveWindow(control, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

bool ForegroundIsOurs() {
    DWORD process = 0;
    const HWND foreground = GetForegroundWindow();
    if (foreground == nullptr) return false;
    GetWindowThreadProcessId(foreground, &process);
    return process == GetCurrentProcessId();
}

}  // namespace

UINT NotificationMessage() {
    static const UINT message = RegisterWindowMessageW(L"Vantrel.Notification");
    return message;
}

bool IsPortDeviceChange(WPARAM wParam, LPARAM lParam) {
    if (wParam != DBT_DEVICEARRIVAL && wParam != DBT_DEVICEREMOVECOMPLETE) return false;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    return header != nullptr && header->dbch_devicetype == DBT_DEVTYP_PORT;
}

TfrmMain::TfrmMain(OperatorDialogs& dialogs, PortSource& ports)
    : dialogs_(dialogs), ports_(ports), activeQuery_(&ForegroundIsOurs) {
    CreateNative(L"VantrelMain", kExStyle, kStyle, FromText(kApplicationTitle).c_str(), nullptr, nullptr, 0, 0);
    handle_ = engine::RegisterNotificationTarget(std::make_shared<WindowTarget>(hwnd_));
    dpi_ = WindowDpi(hwnd_);
    CreateControls();

    SetWindowTextW(hwnd_, FromText(kApplicationTitle).c_str());
    ModifyMenuW(GetMenu(hwnd_), 0, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(menInfo_),
                FromText(kMenuInfoCaption).c_str());
    DrawMenuBar(hwnd_);
    ReplaceDialogText(DialogText::ConfirmCaption, FromText(kConfirmCaption));
    ReplaceDialogText(DialogText::YesButton, FromText(kYesText));
    ReplaceDialogText(DialogText::NoButton, FromText(kNoText));
    if (!CommandLine().empty()) initialDir_ = FromText(CommandLine().front());
    const bool internal = InternalMode();
    SendMessageW(chkReadInfoOnly_, BM_SETCHECK, BST_UNCHECKED, 0);
    ShowWindow(chkReadInfoOnly_, engine::ReadInfoOnlySupported && internal ? SW_SHOW : SW_HIDE);
    ReadCommandLineOptions(internal);
    ApplyFileModeLayout();
    // Client height: the panel and the status bar; nothing below the panel.
    SetDpi(dpi_);

    std::vector<std::string> names;
    ListSerialPorts(names, ports_);
    for (const std::string& name : names) {
        SendMessageW(cbxPort_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FromText(name).c_str()));
    }
    if (!names.empty()) SendMessageW(cbxPort_, CB_SETCURSEL, 0, 0);
    SetStatusText(engine::ClearsMeasurements ? "F" : "");
    SetIdle();
}

TfrmMain::~TfrmMain() {
    engine::UnregisterNotificationTarget(handle_);
    if (hwnd_ != nullptr) KillTimer(hwnd_, kRestartTimerId);
    frmMessage_.reset();
    frmProtocol_.reset();
    frmInfo_.reset();
    if (hourglass_) SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    if (hwnd_ != nullptr && IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
        hwnd_ = nullptr;
    }
    if (font_ != nullptr) DeleteObject(font_);
}

void TfrmMain::CreateControls() {
    const HINSTANCE module = GetModuleHandleW(nullptr);
    auto child = [&](const wchar_t* kind, const wchar_t* text, DWORD style, int id, DWORD exStyle = 0) {
        return CreateWindowExW(exStyle, kind, text, WS_CHILD | style, 0, 0, 0, 0, hwnd_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), module, nullptr);
    };
    Bevel1_ = child(L"STATIC", L"", WS_VISIBLE | SS_ETCHEDHORZ, 0);
    Label1_ = child(L"STATIC", L"Comport:", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0);
    // Editable: a typed name is the port of the next job as typed; it never becomes an item of the list.
    cbxPort_ = child(WC_COMBOBOXW, L"", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                     kCbxPort);
    ProgressBar1_ = child(PROGRESS_CLASSW, L"", WS_VISIBLE | PBS_SMOOTH, 0);
    SendMessageW(ProgressBar1_, PBM_SETRANGE32, 0, 100);
    SendMessageW(ProgressBar1_, PBM_SETPOS, 0, 0);
    btnProg_ = child(L"BUTTON", L"Update", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kBtnProg);
    btnFile_ = child(L"BUTTON", L"File", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kBtnFile);
    btnCancel_ = child(L"BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, kBtnCancel);
    btnClose_ = child(L"BUTTON", L"Close", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kBtnClose);
    chkReadInfoOnly_ = child(L"BUTTON", L"Read info only", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, kChkReadInfoOnly);
    StatusBar1_ = child(STATUSCLASSNAMEW, L"", WS_VISIBLE, 0);
    const int parts[] = {-1};
    SendMessageW(StatusBar1_, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));

    // The status line's hint repeats its text.
    statusTip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, module,
                                 nullptr);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(StatusBar1_);
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(statusTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));

    HMENU bar = CreateMenu();
    menInfo_ = CreatePopupMenu();
    AppendMenuW(menInfo_, MF_STRING, kMenInfoFirmware, L"Firmware");
    AppendMenuW(menInfo_, MF_STRING, kMenInfoFile, L"File version");
    AppendMenuW(menInfo_, MF_SEPARATOR, 0, nullptr);  // N1
    AppendMenuW(menInfo_, MF_STRING, kMenFileExit, L"Exit");
    AppendMenuW(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(menInfo_), L"Info");
    SetMenu(hwnd_, bar);
}

void TfrmMain::InitForms() {
    frmInfo_ = std::make_unique<TfrmInfo>(hwnd_, dialogs_);
    frmProtocol_ = std::make_unique<TfrmProtocol>(hwnd_);
    frmMessage_ = std::make_unique<TfrmMessage>(hwnd_, dialogs_);
}

void TfrmMain::Show() {
    RECT outline{};
    GetWindowRect(hwnd_, &outline);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& area = monitor.rcWork;
    const int width = outline.right - outline.left, height = outline.bottom - outline.top;
    SetWindowPos(hwnd_, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
}

void TfrmMain::ApplyFileModeLayout() {
    fileButtons_ = engine::FileMode == engine::kFileModeImageFiles;
    ShowWindow(btnFile_, fileButtons_ ? SW_SHOW : SW_HIDE);
    // A menu entry cannot be hidden; where File version is not offered it is not there at all.
    if (!fileButtons_) DeleteMenu(menInfo_, kMenInfoFile, MF_BYCOMMAND);
    Layout();
}

void TfrmMain::Layout() {
    const int dpi = dpi_;
    const int width = At120Ppi(design::kClientWidth, dpi);
    MoveControl(Bevel1_, {0, 0, width, 2});
    MoveControl(Label1_, Design120({design::kPortLabelLeft, design::kPortLabelTop, kPortLabelWidth, kTextHeight}, dpi));
    RECT box = Design120(design::kPortBox, dpi);
    box.bottom += At120Ppi(kPortListHeight, dpi);  // a combo box's height includes its drop-down list
    MoveControl(cbxPort_, box);
    MoveControl(ProgressBar1_, Design120(design::kProgressBar, dpi));
    RECT prog = Design120(design::kUpdateButton, dpi);
    RECT file = Design120(design::kFileButton, dpi);
    const RECT close = Design120(design::kCloseButton, dpi);
    const int closeWidth = close.right - close.left;
    if (fileButtons_) {
        // Update and File together take the width of Close.
        prog.right = prog.left + closeWidth / 2;
        file.left = prog.right + At96Ppi(design::kFileButtonGap, dpi);
        file.right = file.left + closeWidth / 2;
    } else {
        prog.right = prog.left + closeWidth;
    }
    MoveControl(btnProg_, prog);
    MoveControl(btnFile_, file);
    MoveControl(btnCancel_, close);
    MoveControl(btnClose_, close);
    MoveControl(chkReadInfoOnly_, Design120({design::kReadInfoOnly.left, design::kReadInfoOnly.top,
                                             design::kReadInfoOnly.width, kTextHeight},
                                            dpi));

    SendMessageW(StatusBar1_, WM_SIZE, 0, 0);
    RECT status{};
    GetWindowRect(StatusBar1_, &status);
    const int height = At120Ppi(design::kPanelHeight, dpi) + (status.bottom - status.top);
    // The frame is the system's, drawn at the DPI the window really is at; what it takes is measured.
    const SIZE outer = OuterSize(kStyle, kExStyle, true, width, height, WindowDpi(hwnd_));
    SetWindowPos(hwnd_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{};
    GetClientRect(hwnd_, &client);
    if (client.right != width || client.bottom != height) {
        SetWindowPos(hwnd_, nullptr, 0, 0, outer.cx + width - client.right, outer.cy + height - client.bottom,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SendMessageW(StatusBar1_, WM_SIZE, 0, 0);
}

void TfrmMain::SetDpi(int dpi) {
    dpi_ = dpi;
    HFONT old = font_;
    font_ = CreateDialogFont(dpi);
    SetChildFonts(hwnd_, font_);
    if (old != nullptr) DeleteObject(old);
    Layout();
}

void TfrmMain::AddReport(const std::string& text) {
    if (frmProtocol_ != nullptr) frmProtocol_->Add(text);
}

void TfrmMain::SetStatusText(const std::string& text) {
    statusText_ = FromText(text);
    SendMessageW(StatusBar1_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(statusText_.c_str()));
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(StatusBar1_);
    tool.lpszText = statusText_.data();
    SendMessageW(statusTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
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
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(StatusBar1_);
    tool.lpszText = text.data();
    SendMessageW(statusTip_, TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(&tool));
    return ToUtf8(text.data());
}

void TfrmMain::ShowInfoMessage(const std::string& text) {
    if (frmMessage_ != nullptr) {
        RECT outline{};
        GetWindowRect(hwnd_, &outline);
        frmMessage_->showMsg(text, outline.left, outline.top, outline.right - outline.left,
                             outline.bottom - outline.top);
        return;
    }
    // Before the message window exists: the system's box, centred on the screen.
    MessageBoxW(nullptr, FromText(text).c_str(), FromText(kApplicationTitle).c_str(), MB_OK | MB_ICONINFORMATION);
}

void TfrmMain::ShowBusy(bool busy) {
    const bool cancelHadFocus = GetFocus() == btnCancel_;
    EnableWindow(btnProg_, !busy);
    ShowWindow(btnClose_, busy ? SW_HIDE : SW_SHOW);
    ShowWindow(btnCancel_, busy ? SW_SHOW : SW_HIDE);
    EnableWindow(cbxPort_, !busy);
    // The image source and the selection belong to the worker until its job ends; the overview reads the
    // selection the worker writes while it chooses an image.
    EnableWindow(btnFile_, !busy);
    const UINT menu = MF_BYCOMMAND | (busy ? MF_GRAYED : MF_ENABLED);
    EnableMenuItem(menInfo_, kMenInfoFile, menu);
    EnableMenuItem(menInfo_, kMenInfoFirmware, menu);
    // The keyboard focus follows the button that takes the place of the one that had it.
    const HWND focus = GetFocus();
    if (busy && (focus == nullptr || !IsWindowVisible(focus) || !IsWindowEnabled(focus))) SetFocus(btnCancel_);
    if (!busy && cancelHadFocus) SetFocus(btnClose_);
    hourglass_ = busy;
    SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

bool TfrmMain::ReadInfoOnlyChosen() const { return SendMessageW(chkReadInfoOnly_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TfrmMain::SetProgressPosition(int position) { SendMessageW(ProgressBar1_, PBM_SETPOS, position, 0); }

int TfrmMain::ProgressPosition() const { return static_cast<int>(SendMessageW(ProgressBar1_, PBM_GETPOS, 0, 0)); }

// The main window's caption is the text of the program's taskbar button.
void TfrmMain::SetApplicationTitle(const std::string& title) { SetWindowTextW(hwnd_, FromText(title).c_str()); }

void TfrmMain::Beep() { MessageBeep(MB_OK); }

std::string TfrmMain::PortText() const { return ToText(WindowText(cbxPort_)); }

void TfrmMain::ScheduleRestart(std::chrono::milliseconds delay, std::function<void()> restart) {
    if (restartTimer_) return restartTimer_(delay, std::move(restart));
    pendingRestart_ = std::move(restart);
    SetTimer(hwnd_, kRestartTimerId, static_cast<UINT>(delay.count()), nullptr);
}

bool TfrmMain::PrepareImageSource(const std::wstring& fileName) {
    if (frmProtocol_ != nullptr) frmProtocol_->Clear();
    if (!ui::PrepareImageSource(*this, fileName.empty() ? std::string() : ToText(fileName))) return false;
    FPort = PortText();
    return true;
}

void TfrmMain::btnProgClick() {
    if (Busy()) return;
    if (const std::optional<std::string> question = UpdateConfirmation()) {
        if (!dialogs_.Confirm(hwnd_, FromText(*question))) return;
    }
    if (!PrepareImageSource({})) return;
    jobs_.StartNew(FPort, EarlierCancel::Forget);
}

void TfrmMain::btnFileClick() {
    if (Busy()) return;
    const std::wstring file = dialogs_.PickFile(hwnd_, initialDir_);
    if (file.empty()) return;
    // An unreadable file starts nothing: the operator asked for that file, not for the built-in images.
    if (!PrepareImageSource(file)) return;
    jobs_.StartNew(FPort, EarlierCancel::Forget);
}

void TfrmMain::btnCancelClick() { jobs_.Cancel(); }

void TfrmMain::menInfoFirmwareClick() {
    if (frmInfo_ == nullptr || Busy()) return;
    RECT outline{};
    GetWindowRect(hwnd_, &outline);
    frmInfo_->Execute(outline.left, outline.top, outline.bottom - outline.top);
}

void TfrmMain::menInfoFileClick() {
    if (Busy()) return;
    const std::wstring file = dialogs_.PickFile(hwnd_, initialDir_);
    if (file.empty() || GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    try {
        SelectOverviewFile(ToText(file));
    } catch (const std::exception& e) {
        ShowInfoMessage(UnreadableImageFileText(e));
        return;
    }
    menInfoFirmwareClick();
}

void TfrmMain::RefreshPorts() {
    std::vector<std::string> ports;
    ListSerialPorts(ports, ports_);
    // The text names the port of the next job, even when that port is gone or was never listed.
    const std::wstring text = WindowText(cbxPort_);
    SendMessageW(cbxPort_, CB_RESETCONTENT, 0, 0);
    for (const std::string& port : ports) {
        SendMessageW(cbxPort_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FromText(port).c_str()));
    }
    SendMessageW(cbxPort_, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetWindowTextW(cbxPort_, text.c_str());
    // Only while the operator works with the program and no job runs is the list opened, so the new ports
    // are in view at once.
    if (!activeQuery_() || !IsWindowEnabled(cbxPort_)) return;
    if (SendMessageW(cbxPort_, CB_GETDROPPEDSTATE, 0, 0)) SendMessageW(cbxPort_, CB_SHOWDROPDOWN, FALSE, 0);
    InvalidateRect(cbxPort_, nullptr, TRUE);
    SendMessageW(cbxPort_, CB_SHOWDROPDOWN, TRUE, 0);
}

bool TfrmMain::CloseQuery() {
    if (Busy()) {
        if (!dialogs_.Confirm(hwnd_, FromText(kCloseWhileBusyQuestion))) return false;
        // The worker stops at its next transfer attempt; the program waits for it after the message loop.
        jobs_.Cancel();
    }
    closed_ = true;
    return true;
}

void TfrmMain::DockReportWindow() {
    if (frmProtocol_ == nullptr || frmProtocol_->Handle() == nullptr) return;
    RECT outline{}, report{};
    GetWindowRect(hwnd_, &outline);
    GetWindowRect(frmProtocol_->Handle(), &report);
    if (report.left == outline.left && report.top == outline.bottom) return;
    SetWindowPos(frmProtocol_->Handle(), nullptr, outline.left, outline.bottom, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfrmMain::ApplicationEvents1Idle() {
    // The one place that decides whether the report is seen: operators never see it.
    if (frmProtocol_ == nullptr) return;
    ShowWindow(frmProtocol_->Handle(), engine::FileMode != engine::kFileModeOperator ? SW_SHOWNOACTIVATE : SW_HIDE);
    DockReportWindow();
}

LRESULT TfrmMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == NotificationMessage()) {
        // Once the operator closed the program, the end of a cancelled job has nobody left to tell; a
        // verdict box now would only hold up the program's end.
        if (!closed_) presenter_.Handle(static_cast<std::uint32_t>(wParam), static_cast<std::int32_t>(lParam));
        return 0;
    }
    switch (message) {
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kBtnProg: btnProgClick(); break;
                case kBtnFile: btnFileClick(); break;
                case kBtnCancel: btnCancelClick(); break;
                case kBtnClose:
                case kMenFileExit: PostMessageW(hwnd_, WM_CLOSE, 0, 0); break;
                case kMenInfoFirmware: menInfoFirmwareClick(); break;
                case kMenInfoFile: menInfoFileClick(); break;
                default: break;
            }
            return 0;
        case WM_CLOSE:
            if (CloseQuery()) DestroyWindow(hwnd_);
            return 0;
        case WM_DESTROY:
            engine::UnregisterNotificationTarget(handle_);
            KillTimer(hwnd_, kRestartTimerId);
            if (quitOnDestroy_) PostQuitMessage(0);
            return 0;
        case WM_SETCURSOR:
            if (hourglass_) {
                SetCursor(LoadCursorW(nullptr, IDC_WAIT));
                return TRUE;
            }
            break;
        case WM_MOVE: DockReportWindow(); return 0;
        case WM_SIZE:
            if (StatusBar1_ != nullptr) SendMessageW(StatusBar1_, WM_SIZE, 0, 0);
            return 0;
        case WM_SHOWWINDOW:
            if (wParam && !firstIdleDone_) {
                firstIdleDone_ = true;
                // Posted: handled once everything the showing itself queued has been handled.
                PostMessageW(hwnd_, kFirstIdleMessage, 0, 0);
            }
            break;
        case kFirstIdleMessage: ApplicationEvents1Idle(); return 0;
        case WM_TIMER:
            if (wParam == kRestartTimerId) {
                KillTimer(hwnd_, kRestartTimerId);
                if (auto restart = std::move(pendingRestart_)) {
                    pendingRestart_ = nullptr;
                    restart();
                }
                return 0;
            }
            break;
        case WM_DEVICECHANGE:
            if (IsPortDeviceChange(wParam, lParam)) RefreshPorts();
            return TRUE;
        case WM_DPICHANGED: {
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            SetDpi(HIWORD(wParam));
            return 0;
        }
        default: break;
    }
    return WindowBase::HandleMessage(message, wParam, lParam);
}

}  // namespace vantrel::ui::win32
