#include "ui/win32/main_window.h"

#include "ui/win32/win32.h"

#include <commctrl.h>
#include <dbt.h>

#include "engine/notify.h"
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
constexpr UINT kFirstIdleMessage = WM_APP + 1;
// What screen readers call the progress bar.
constexpr const wchar_t* kProgressName = L"Progress";

static_assert(sizeof(WPARAM) >= 8 && sizeof(LPARAM) >= 8, "a notification travels in two 64-bit halves");

// Runs on the worker's thread with the registry locked: it only posts. The window unregisters before it
// is destroyed; a post to a handle that is no longer a window is dropped by the system all the same.
class WindowTarget final : public engine::NotificationTarget {
public:
    explicit WindowTarget(HWND window) : window_(window) {}
    void Post(const engine::Notification& notification) override {
        // The low halves carry the code and the value; the high halves a progress notification's position
        // and total, which the time-left estimate counts records by.
        const auto wParam = static_cast<WPARAM>(notification.code) |
                            static_cast<WPARAM>(static_cast<std::uint32_t>(notification.position)) << 32;
        const auto lParam = static_cast<LPARAM>(
            static_cast<std::uint64_t>(static_cast<std::uint32_t>(notification.value)) |
            static_cast<std::uint64_t>(static_cast<std::uint32_t>(notification.total)) << 32);
        PostMessageW(window_, NotificationMessage(), wParam, lParam);
    }

private:
    HWND window_;
};

void MoveControl(HWND control, const RECT& r) {
    MoveWindow(control, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
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

TfrmMain::TfrmMain(OperatorDialogs& dialogs, app::PortSource& ports)
    : dialogs_(dialogs), activeQuery_(&ForegroundIsOurs), controller_(*this, ports) {
    CreateNative(L"VantrelMain", kExStyle, kStyle, L"", nullptr, nullptr, 0, 0);
    handle_ = engine::RegisterNotificationTarget(std::make_shared<WindowTarget>(hwnd_));
    // The shell's word that the taskbar button exists reaches a program that runs elevated too.
    ChangeWindowMessageFilterEx(hwnd_, TaskbarButtonCreatedMessage(), MSGFLT_ALLOW, nullptr);
    CreateControls();
    SetDpi(WindowDpi(hwnd_));
    controller_.Start();
}

TfrmMain::~TfrmMain() {
    engine::UnregisterNotificationTarget(handle_);
    frmMessage_.reset();
    frmProtocol_.reset();
    frmInfo_.reset();
    if (HourglassShown()) ShowHourglass(false);
}

void TfrmMain::CreateControls() {
    const HINSTANCE module = GetModuleHandleW(nullptr);
    auto child = [&](const wchar_t* kind, const wchar_t* text, DWORD style, int id) {
        return CreateWindowExW(0, kind, text, WS_CHILD | style, 0, 0, 0, 0, hwnd_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), module, nullptr);
    };
    Bevel1_ = child(L"STATIC", L"", WS_VISIBLE | SS_ETCHEDHORZ, 0);
    Label1_ = child(L"STATIC", L"Comport:", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0);
    // Editable: a typed name is the port of the next job as typed; it never becomes an item of the list.
    // Its items are drawn here, with the adapter's text beside the name; the items' strings, which the edit
    // part, typing and CB_GETLBTEXT use, are the names alone.
    cbxPort_ = child(
        WC_COMBOBOXW, L"",
        WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS,
        kCbxPort);
    // The bar has no label to be seen: screen readers read one that is not (and its own window text, which
    // nothing draws).
    CreateUnseenLabel(hwnd_, kProgressName);
    ProgressBar1_ = child(PROGRESS_CLASSW, kProgressName, WS_VISIBLE | PBS_SMOOTH, 0);
    SendMessageW(ProgressBar1_, PBM_SETRANGE32, 0, 100);
    // In the order they are laid out, which is the order Tab walks them in. Each underlines a letter of its
    // text for Alt and that letter (Cancel and Close share a place, so Close takes its second letter).
    btnProg_ = child(L"BUTTON", L"&Update", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kBtnProg);
    btnFile_ = child(L"BUTTON", L"&File", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kBtnFile);
    btnCancel_ = child(L"BUTTON", L"&Cancel", WS_TABSTOP | BS_PUSHBUTTON, kBtnCancel);
    btnClose_ = child(L"BUTTON", L"C&lose", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kBtnClose);
    chkReadInfoOnly_ = child(L"BUTTON", L"&Read info only", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
                             kChkReadInfoOnly);
    StatusBar1_ = child(STATUSCLASSNAMEW, L"", WS_VISIBLE, 0);

    // The status line's hint repeats its text.
    statusTip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, module,
                                 nullptr);
    StatusTip(TTM_ADDTOOLW, const_cast<wchar_t*>(L""), 0);

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
    SetWindowPos(hwnd_, nullptr, area.left + (area.right - area.left - (outline.right - outline.left)) / 2,
                 area.top + (area.bottom - area.top - (outline.bottom - outline.top)) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
}

void TfrmMain::Layout() {
    const int dpi = Dpi();
    const int width = At120Ppi(design::kClientWidth, dpi);
    MoveControl(Bevel1_, {0, 0, width, 2});
    MoveControl(Label1_, Design120({design::kPortLabelLeft, design::kPortLabelTop, kPortLabelWidth, kTextHeight}, dpi));
    RECT box = Design120(design::kPortBox, dpi);
    box.bottom += At120Ppi(kPortListHeight, dpi);  // a combo box's height includes its drop-down list
    MoveControl(cbxPort_, box);
    MoveControl(ProgressBar1_, Design120(design::kProgressBar, dpi));
    RECT prog = Design120(design::kUpdateButton, dpi), file = Design120(design::kFileButton, dpi);
    const RECT close = Design120(design::kCloseButton, dpi);
    const UpdateButtonsGeometry row = ArrangeUpdateButtons(fileButtons_, prog.left, close.right - close.left,
                                                           At96Ppi(design::kFileButtonGap, dpi));
    prog.right = prog.left + row.updateWidth;
    file.left = row.fileLeft;
    file.right = row.fileLeft + row.fileWidth;
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
    ShowStatus();
}

void TfrmMain::SetDpi(int dpi) {
    UseDpi(dpi);
    // A box whose items are drawn by its window keeps the heights it was made with; it takes those the
    // system gives a plain box at this font, so that it looks as the plain one would.
    const auto font = static_cast<WPARAM>(SendMessageW(cbxPort_, WM_GETFONT, 0, 0));
    const HWND plain = CreateWindowExW(0, WC_COMBOBOXW, L"", WS_CHILD | CBS_DROPDOWN, 0, 0, 100, 200, hwnd_, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
    SendMessageW(plain, WM_SETFONT, font, FALSE);
    for (const WPARAM part : {static_cast<WPARAM>(-1), WPARAM{0}}) {
        SendMessageW(cbxPort_, CB_SETITEMHEIGHT, part, SendMessageW(plain, CB_GETITEMHEIGHT, part, 0));
    }
    Layout();
    // What a box adds around its selection field may differ between the two kinds, and what it reports of
    // the field's height need not be what it was given: the outlines are made equal.
    const auto outlineHeight = [](HWND box) {
        RECT r{};
        GetWindowRect(box, &r);
        return static_cast<int>(r.bottom - r.top);
    };
    if (const int excess = outlineHeight(cbxPort_) - outlineHeight(plain); excess != 0) {
        const auto field = static_cast<int>(SendMessageW(plain, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
        SendMessageW(cbxPort_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field - excess);
    }
    DestroyWindow(plain);
    ArrangePortColumns();
}

void TfrmMain::Activated(bool active) {
    const HWND focus = GetFocus();
    if (!active) {
        if (focus != nullptr && IsChild(hwnd_, focus)) focus_ = focus;
        return;
    }
    if (focus_ == nullptr || !IsWindowVisible(focus_) || !IsWindowEnabled(focus_)) {
        focus_ = Busy() ? btnCancel_ : btnProg_;
    }
    ::SetFocus(focus_);
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

LRESULT TfrmMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == NotificationMessage()) {
        const auto low = [](std::uint64_t half) { return static_cast<std::uint32_t>(half & 0xFFFFFFFFu); };
        const auto high = [](std::uint64_t half) {
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(half >> 32));
        };
        const auto lParamBits = static_cast<std::uint64_t>(lParam);
        controller_.Notify({low(wParam), static_cast<std::int32_t>(low(lParamBits)), high(wParam), high(lParamBits)});
        return 0;
    }
    if (message == TaskbarButtonCreatedMessage()) {
        // Made anew each time: after a restart of the shell the old button is gone.
        taskbarButton_ = taskbarFactory_ ? taskbarFactory_(hwnd_) : nullptr;
        if (taskbarButton_ != nullptr) taskbarButton_->Show(taskbarState_, taskbarPosition_);
        return 0;
    }
    switch (message) {
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kBtnProg: controller_.UpdateClicked(); break;
                case kBtnFile: controller_.FileClicked(); break;
                case kBtnCancel: controller_.CancelClicked(); break;
                case kBtnClose:
                case kMenFileExit: PostMessageW(hwnd_, WM_CLOSE, 0, 0); break;
                case kMenInfoFirmware: controller_.FirmwareClicked(); break;
                case kMenInfoFile: controller_.FileVersionClicked(); break;
                default: break;
            }
            return 0;
        case WM_CLOSE:
            if (controller_.CloseRequested()) DestroyWindow(hwnd_);
            return 0;
        case WM_DESTROY:
            engine::UnregisterNotificationTarget(handle_);
            for (std::size_t slot = 0; slot < timers_.size(); ++slot) KillTimer(hwnd_, slot + 1);
            taskbarButton_.reset();
            if (quitOnDestroy_) PostQuitMessage(0);
            return 0;
        case WM_ACTIVATE: Activated(LOWORD(wParam) != WA_INACTIVE); return 0;
        case WM_MOVE: DockReportWindow(); return 0;
        case WM_SIZE: SendMessageW(StatusBar1_, WM_SIZE, 0, 0); return 0;
        case WM_SHOWWINDOW:
            // Posted: the first idle moment comes once everything the showing itself queued is handled.
            if (wParam && !firstIdlePosted_) firstIdlePosted_ = PostMessageW(hwnd_, kFirstIdleMessage, 0, 0);
            break;
        case kFirstIdleMessage: controller_.Idle(); return 0;
        case WM_DRAWITEM:
            if (wParam == kCbxPort) {
                DrawPortItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            }
            break;
        case WM_TIMER:
            if (wParam >= 1 && wParam <= timers_.size()) {
                KillTimer(hwnd_, wParam);
                if (auto expired = std::move(timers_[wParam - 1])) expired();
                return 0;
            }
            break;
        case WM_DEVICECHANGE:
            if (IsPortDeviceChange(wParam, lParam)) controller_.PortsChanged();
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
