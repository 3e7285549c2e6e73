// The Windows window against the system's controls (run under Wine on a Linux build machine, with an X
// server): layout by DPI, the idle and busy states, notifications arriving as window messages, the port
// list following device changes and showing the adapters, the close guard, an image file that cannot be
// read, the taskbar button's progress, and what keyboard and screen-reader users rely on.
#include <gtest/gtest.h>

#include "ui/win32/win32.h"

#include <commctrl.h>
#include <dbt.h>
#include <objbase.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/job_rules.h"
#include "app/options.h"
#include "app/presenter.h"
#include "engine/comm_thread.h"
#include "engine/notify.h"
#include "engine/option_flags.h"
#include "engine/process_state.h"
#include "firmware/catalogue.h"
#include "link/cancel.h"
#include "link/failures.h"
#include "ui/win32/design_units.h"
#include "ui/win32/main_window.h"
#include "ui/win32/message_window.h"
#include "ui/win32/operator_dialogs.h"
#include "ui/win32/overview_window.h"
#include "ui/win32/report_window.h"
#include "ui/win32/startup.h"
#include "ui/win32/taskbar_button.h"
#include "ui/win32/text_codec.h"

namespace vantrel::ui::win32 {
namespace {

// Acts on the system's Yes/No box once it is open, from a timer, since the question blocks its caller. The
// system's callbacks take no state of ours: act is a plain function, and what it finds goes into statics.
UINT_PTR WhenTheQuestionOpens(void (*act)(HWND box)) {
    static void (*pending)(HWND box) = nullptr;
    pending = act;
    return SetTimer(nullptr, 0, 200, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND box, LPARAM) -> BOOL {
                wchar_t kind[16] = {};
                GetClassNameW(box, kind, 16);
                if (lstrcmpW(kind, L"#32770") != 0) return TRUE;
                pending(box);
                return FALSE;
            },
            0);
    });
}

std::wstring Text(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

std::string Utf8Text(HWND window) { return ToUtf8(Text(window)); }

class FakeDialogs final : public OperatorDialogs {
public:
    bool Confirm(HWND, const std::wstring& question) override {
        questions.push_back(ToUtf8(question));
        if (answers.empty()) return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::wstring PickFile(HWND, const std::wstring&) override { return file; }
    int RunModal(HWND window, HWND owner) override {
        // The message window's text is in its edit control.
        HWND edit = FindWindowExW(window, nullptr, L"EDIT", nullptr);
        Modal modal{Utf8Text(window), edit != nullptr ? Utf8Text(edit) : std::string()};
        if (edit != nullptr) {
            const auto firstHidden = static_cast<int>(SendMessageW(edit, EM_GETLINECOUNT, 0, 0));
            SCROLLINFO scroll{};
            scroll.cbSize = sizeof scroll;
            scroll.fMask = SIF_RANGE | SIF_PAGE;
            modal.scrolls = GetScrollInfo(edit, SB_VERT, &scroll) && scroll.nMax >= static_cast<int>(scroll.nPage) &&
                            scroll.nPage > 0;
            modal.lines = firstHidden;
            // Wrapped, not cut: the last line ends with the text's last characters.
            const auto lastLine = static_cast<int>(SendMessageW(edit, EM_LINEINDEX, firstHidden - 1, 0));
            modal.lastLineStart = lastLine;
        }
        modals.push_back(modal);
        if (duringModal) duringModal(window);
        // As the program's own modal run ends: the owner is active again.
        if (owner != nullptr && GetActiveWindow() != nullptr) SetActiveWindow(owner);
        return IDOK;
    }

    struct Modal {
        std::string title;
        std::string text;
        int lines = 0;
        bool scrolls = false;
        int lastLineStart = 0;
    };
    std::function<void(HWND)> duringModal;
    std::deque<bool> answers;
    std::vector<std::string> questions;
    std::wstring file;
    std::vector<Modal> modals;
};

class FakePorts final : public app::PortSource {
public:
    std::vector<app::PortEntry> Enumerate() override { return entries; }
    std::vector<app::PortEntry> entries;
};

app::PortEntry VirtualPort(const std::string& name) { return {name, "\\Device\\VCP" + name.substr(3), {}}; }

struct WorkerRequest {
    std::int32_t window;
    engine::TCmd cmd;
    std::string port;
    bool cancelRequested;
    bool readInfoOnly;
    std::shared_ptr<const firmware::FileImage> file;
};
std::vector<WorkerRequest> workerRequests;

// Workers as the window creates them, without threads: what it asked for, and nothing runs.
engine::TCommThread* RecordingWorker(const engine::JobRequest& request, engine::TCmd cmd,
                                     std::shared_ptr<engine::JobOutcome>) {
    workerRequests.push_back(
        {request.FhWindow, cmd, request.FsPort, link::CancelRequested.load(), request.ReadInfoOnly, request.FileImage});
    static char marker;
    return reinterpret_cast<engine::TCommThread*>(&marker);
}

constexpr const wchar_t* kSettingsKey = L"Software\\Velmora\\Qel";

class Win32WindowTest : public ::testing::Test {
protected:
    Win32WindowTest() {
        engine::ResetProcessState();
        workerRequests.clear();
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"intern");
    }
    ~Win32WindowTest() override {
        window_.reset();
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"intern");
        Pump();
        engine::ResetProcessState();
    }

    TfrmMain& Start(std::vector<std::string> args = {}, bool internal = false) {
        if (internal) {
            const DWORD code = 7204;
            RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"intern", REG_DWORD, &code, sizeof code);
        }
        args.insert(args.begin(), "C:\\vantrel\\vantrel-update.exe");
        window_ = StartProgram(std::move(args), dialogs_, ports_);
        engine::CommThreadClass = &RecordingWorker;
        window_->Show();
        Pump();
        return *window_;
    }

    static void Pump() {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    void Click(int command) { SendMessageW(window_->Handle(), WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0); }

    void Notify(std::uint32_t code, std::int32_t value) {
        ASSERT_TRUE(engine::PostNotification(window_->NotificationHandle(), code, value));
        Pump();
    }

    RECT Client(HWND control) const {
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(HWND_DESKTOP, window_->Handle(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }

    bool Shown(HWND control) const { return (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0; }

    bool MenuEnabled(int command) const {
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_STATE;
        if (!GetMenuItemInfoW(window_->menInfo(), command, FALSE, &item)) return false;
        return (item.fState & MFS_DISABLED) == 0;
    }

    bool ListOpen() const { return SendMessageW(window_->cbxPort(), CB_GETDROPPEDSTATE, 0, 0) != 0; }

    std::vector<std::string> PortItems() const {
        std::vector<std::string> items;
        const int count = static_cast<int>(SendMessageW(window_->cbxPort(), CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            wchar_t text[256] = {};
            SendMessageW(window_->cbxPort(), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            items.push_back(ToUtf8(text));
        }
        return items;
    }

    void ExpectIdle() {
        EXPECT_FALSE(window_->Busy());
        EXPECT_TRUE(IsWindowEnabled(window_->btnProg()));
        EXPECT_TRUE(IsWindowEnabled(window_->cbxPort()));
        EXPECT_TRUE(Shown(window_->btnClose()));
        EXPECT_FALSE(Shown(window_->btnCancel()));
        EXPECT_TRUE(MenuEnabled(TfrmMain::kMenInfoFirmware));
        EXPECT_EQ(Utf8Text(window_->Handle()), app::kApplicationTitle);
    }

    void ExpectBusy() {
        EXPECT_TRUE(window_->Busy());
        EXPECT_FALSE(IsWindowEnabled(window_->btnProg()));
        EXPECT_FALSE(IsWindowEnabled(window_->cbxPort()));
        EXPECT_FALSE(Shown(window_->btnClose()));
        EXPECT_TRUE(Shown(window_->btnCancel()));
        // A job reads only its own request: the overview stays open to the operator.
        EXPECT_TRUE(MenuEnabled(TfrmMain::kMenInfoFirmware));
    }

    FakeDialogs dialogs_;
    FakePorts ports_;
    std::unique_ptr<TfrmMain> window_;
};

TEST_F(Win32WindowTest, StartsIdleWithTheFirstListedPortAndTheTextsOfStartUp) {
    ports_.entries = {VirtualPort("COM5"), {"COM1", "\\Device\\Serial0", {}}, VirtualPort("COM7")};
    TfrmMain& window = Start();
    ExpectIdle();
    EXPECT_EQ(PortItems(), (std::vector<std::string>{"COM5", "COM7"}));
    EXPECT_EQ(window.PortText(), "COM5");
    EXPECT_EQ(window.StatusText(), "");
    wchar_t caption[64] = {};
    GetMenuStringW(GetMenu(window.Handle()), 0, caption, 64, MF_BYPOSITION);
    EXPECT_EQ(ToUtf8(caption), app::kMenuInfoCaption);
    // Operator mode: no "Read info only", no File button, no File version entry, and no report.
    EXPECT_FALSE(Shown(window.chkReadInfoOnly()));
    EXPECT_FALSE(Shown(window.btnFile()));
    EXPECT_EQ(GetMenuState(window.menInfo(), TfrmMain::kMenInfoFile, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_FALSE(IsWindowVisible(window.frmProtocol()->Handle()));
}

TEST_F(Win32WindowTest, InternalModeWithFilesShowsTheFileControlsTheReportAndTheMeasurementsFlag) {
    TfrmMain& window = Start({"f:+", "mf:+"}, true);
    EXPECT_TRUE(Shown(window.chkReadInfoOnly()));
    EXPECT_TRUE(Shown(window.btnFile()));
    EXPECT_NE(GetMenuState(window.menInfo(), TfrmMain::kMenInfoFile, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_EQ(window.StatusText(), "F");
    EXPECT_EQ(window.StatusHint(), "F");
    // Shown at the first idle moment, docked under the main window.
    ASSERT_TRUE(IsWindowVisible(window.frmProtocol()->Handle()));
    RECT main{}, report{};
    GetWindowRect(window.Handle(), &main);
    GetWindowRect(window.frmProtocol()->Handle(), &report);
    EXPECT_EQ(report.left, main.left);
    EXPECT_EQ(report.top, main.bottom);
    // It follows the main window when that moves.
    SetWindowPos(window.Handle(), nullptr, main.left + 37, main.top + 21, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Pump();
    GetWindowRect(window.Handle(), &main);
    GetWindowRect(window.frmProtocol()->Handle(), &report);
    EXPECT_EQ(report.left, main.left);
    EXPECT_EQ(report.top, main.bottom);
}

// Every control at 144 DPI is where it is at 96, one and a half times as far out and as large; the client
// area is the panel and the status bar; Cancel lies on Close; Update and File share the width of Close.
TEST_F(Win32WindowTest, ControlsAreScaledFromTheDesignUnitsByTheWindowsDpi) {
    TfrmMain& window = Start({"f:+"}, true);
    const std::vector<HWND> controls = {window.cbxPort(),        window.ProgressBar1(), window.btnProg(),
                                        window.btnFile(),        window.btnCancel(),    window.btnClose(),
                                        window.chkReadInfoOnly()};
    std::vector<std::vector<RECT>> byDpi;
    for (const int dpi : {96, 144}) {
        SCOPED_TRACE(dpi);
        RECT outline{};
        GetWindowRect(window.Handle(), &outline);
        SendMessageW(window.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&outline));
        ASSERT_EQ(window.Dpi(), dpi);
        std::vector<RECT> rects;
        for (HWND control : controls) rects.push_back(Client(control));
        byDpi.push_back(rects);

        RECT client{}, status{};
        GetClientRect(window.Handle(), &client);
        GetWindowRect(window.StatusBar1(), &status);
        EXPECT_EQ(client.right, At120Ppi(441, dpi));
        EXPECT_EQ(client.bottom, At120Ppi(201, dpi) + (status.bottom - status.top));
        const RECT prog = Client(window.btnProg()), file = Client(window.btnFile()), close = Client(window.btnClose());
        EXPECT_TRUE(EqualRect(&close, &rects[4]));
        EXPECT_EQ(prog.right - prog.left, (close.right - close.left) / 2);
        EXPECT_EQ(file.right - file.left, (close.right - close.left) / 2);
        EXPECT_EQ(file.left - prog.right, 8 * dpi / 96);
        // The text grows with the DPI too.
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window.btnProg(), WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_EQ(font.lfHeight, -MulDiv(9, dpi, 72));
    }
    for (std::size_t i = 0; i < controls.size(); ++i) {
        SCOPED_TRACE(i);
        const RECT& at96 = byDpi[0][i];
        const RECT& at144 = byDpi[1][i];
        EXPECT_NEAR(at144.left, at96.left * 3 / 2, 2);
        EXPECT_NEAR(at144.top, at96.top * 3 / 2, 2);
        EXPECT_NEAR(at144.right - at144.left, (at96.right - at96.left) * 3 / 2, 2);
        // A combo box sets its own height from its font.
        if (controls[i] != window.cbxPort()) {
            EXPECT_NEAR(at144.bottom - at144.top, (at96.bottom - at96.top) * 3 / 2, 2);
        }
    }
}

TEST_F(Win32WindowTest, UpdateAsksThenRunsBusyOnTheTypedPortUntilTheFinalNotification) {
    ports_.entries = {VirtualPort("COM3")};
    TfrmMain& window = Start();
    SetWindowTextW(window.cbxPort(), L"COM5");

    dialogs_.answers = {false};
    Click(TfrmMain::kBtnProg);
    EXPECT_EQ(dialogs_.questions, std::vector<std::string>{*app::UpdateConfirmation()});
    EXPECT_TRUE(workerRequests.empty());
    ExpectIdle();

    link::CancelRequested = true;
    Click(TfrmMain::kBtnProg);
    ASSERT_EQ(workerRequests.size(), 1u);
    EXPECT_EQ(workerRequests[0].port, "COM5");
    EXPECT_EQ(workerRequests[0].window, window.NotificationHandle());
    EXPECT_EQ(workerRequests[0].cmd, engine::TCmd::tCMD0);
    EXPECT_FALSE(workerRequests[0].cancelRequested);
    EXPECT_EQ(window.StatusText(), "Start at serial port \"COM5\"");
    ExpectBusy();

    // The worker's notifications arrive as window messages and go to the presenter.
    Notify(engine::ncProgress, 42);
    EXPECT_EQ(window.Progress(), 42);
    EXPECT_EQ(Utf8Text(window.Handle()), "42%");

    // Cancel only asks; the window stays busy until the worker's verdict.
    Click(TfrmMain::kBtnCancel);
    EXPECT_TRUE(link::CancelRequested.load());
    ExpectBusy();
    Notify(engine::ncFailure, link::feCancelled);
    ExpectIdle();
    EXPECT_EQ(window.StatusText(), "Process cancelled!");
    EXPECT_EQ(window.StatusHint(), "Process cancelled!");
    ASSERT_FALSE(dialogs_.modals.empty());
    EXPECT_EQ(dialogs_.modals.back().title, "Information");
    EXPECT_EQ(dialogs_.modals.back().text, "Process cancelled!");
    EXPECT_EQ(window.Progress(), 42);
}

TEST_F(Win32WindowTest, ReadInfoOnlyIsTheCheckBoxAsTickedWhenTheJobStarts) {
    TfrmMain& window = Start({}, true);
    SendMessageW(window.chkReadInfoOnly(), BM_SETCHECK, BST_CHECKED, 0);
    Click(TfrmMain::kBtnProg);
    Notify(engine::ncFailure, link::feInfoOnly);
    SendMessageW(window.chkReadInfoOnly(), BM_SETCHECK, BST_UNCHECKED, 0);
    Click(TfrmMain::kBtnProg);
    ASSERT_EQ(workerRequests.size(), 2u);
    EXPECT_TRUE(workerRequests[0].readInfoOnly);
    EXPECT_FALSE(workerRequests[1].readInfoOnly);
    // Internal mode asks nothing before an update.
    EXPECT_TRUE(dialogs_.questions.empty());
}

TEST_F(Win32WindowTest, AFailedPortNamesTheTypedPortAndACommunicationRestartKeepsTheWindowBusy) {
    TfrmMain& window = Start();
    std::vector<std::function<void()>> restarts;
    window.SetRestartTimer(
        [&](std::chrono::milliseconds, std::function<void()> restart) { restarts.push_back(std::move(restart)); });
    SetWindowTextW(window.cbxPort(), L"COM42");
    Click(TfrmMain::kBtnProg);
    Notify(engine::ncRetryComm, static_cast<std::int32_t>(engine::TCmd::tCMD0));
    ExpectBusy();
    ASSERT_EQ(restarts.size(), 1u);
    restarts[0]();
    ASSERT_EQ(workerRequests.size(), 2u);
    EXPECT_EQ(workerRequests[1].port, "COM42");
    ExpectBusy();
    Notify(engine::ncFailure, link::feNoPort);
    ExpectIdle();
    EXPECT_EQ(dialogs_.modals.back().text, "Aborted because serial port \"COM42\" is not ready!");
}

TEST_F(Win32WindowTest, ANotificationForAWindowThatIsGoneReachesNobody) {
    TfrmMain& window = Start();
    const std::int32_t handle = window.NotificationHandle();
    const HWND hwnd = window.Handle();
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(engine::PostNotification(handle, engine::ncDone, 0));
    // A post that was already on its way when the window went is dropped by the system.
    EXPECT_FALSE(PostMessageW(hwnd, NotificationMessage(), engine::ncDone, 0));
    Pump();
}

// The three ways to close reach the controller's guard; what it decides is tested with the controller.
TEST_F(Win32WindowTest, CloseExitAndTheTitleBarReachTheCloseGuard) {
    TfrmMain& window = Start();
    Click(TfrmMain::kBtnProg);
    dialogs_.questions.clear();
    dialogs_.answers = {false, false, true};
    Click(TfrmMain::kBtnClose);
    Pump();
    Click(TfrmMain::kMenFileExit);
    Pump();
    EXPECT_EQ(dialogs_.questions,
              (std::vector<std::string>{app::kCloseWhileBusyQuestion, app::kCloseWhileBusyQuestion}));
    EXPECT_TRUE(IsWindow(window.Handle()));
    ExpectBusy();
    const HWND hwnd = window.Handle();
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_TRUE(link::CancelRequested.load());
}

TEST_F(Win32WindowTest, AFileVersionThatCannotBeReadShowsWhyAndNoOverviewOfMixedHeaders) {
    Start({"f:+"}, true);
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"vantrel-not-an-image.txt";
    const std::string content = "this is no image header\r\n";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    dialogs_.file = path;
    Click(TfrmMain::kMenInfoFile);
    DeleteFileW(path.c_str());
    ASSERT_EQ(dialogs_.modals.size(), 1u);
    EXPECT_EQ(dialogs_.modals[0].title, "Information");
    EXPECT_EQ(dialogs_.modals[0].text.rfind("The image file cannot be read: ", 0), 0u);
}

TEST_F(Win32WindowTest, TheReportWindowStaysWhenAskedToClose) {
    TfrmMain& window = Start({}, true);
    const HWND report = window.frmProtocol()->Handle();
    SendMessageW(report, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindowVisible(report));
}

TEST_F(Win32WindowTest, TheOverviewListsTheBuiltInImagesWithColumnsWideEnoughForTheirCells) {
    TfrmMain& window = Start();
    Click(TfrmMain::kMenInfoFirmware);
    ASSERT_EQ(dialogs_.modals.size(), 1u);
    EXPECT_EQ(dialogs_.modals[0].title, "Overview");
    TfrmInfo& overview = *window.frmInfo();
    EXPECT_EQ(overview.Rows(), app::OverviewRows(std::nullopt));
    const HWND list = overview.List();
    int sum = 0;
    for (int column = 0; column < static_cast<int>(app::kOverviewColumns.size()); ++column) {
        const int width = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
        EXPECT_GT(width, static_cast<int>(
                             SendMessageW(list, LVM_GETSTRINGWIDTHW, 0,
                                          reinterpret_cast<LPARAM>(FromText(app::kOverviewColumns[column]).c_str()))));
        sum += width;
    }
    RECT client{};
    GetClientRect(overview.Handle(), &client);
    EXPECT_EQ(client.right, sum + 30);
}

struct DeviceEvent {
    const char* name;
    WPARAM event;
    DWORD deviceType;
    bool refreshes;
};

class PortRefreshTest : public Win32WindowTest, public ::testing::WithParamInterface<DeviceEvent> {};

TEST_P(PortRefreshTest, OnlyPortArrivalsAndRemovalsRefillTheListAndTheTypedTextStays) {
    const DeviceEvent& event = GetParam();
    ports_.entries = {VirtualPort("COM3")};
    TfrmMain& window = Start();
    window.SetActiveQuery([] { return false; });
    SetWindowTextW(window.cbxPort(), L"COM9");
    ports_.entries = {VirtualPort("COM3"), VirtualPort("COM5")};
    DEV_BROADCAST_HDR header{};
    header.dbch_size = sizeof header;
    header.dbch_devicetype = event.deviceType;
    SendMessageW(window.Handle(), WM_DEVICECHANGE, event.event, reinterpret_cast<LPARAM>(&header));
    const std::vector<std::string> expected = event.refreshes ? std::vector<std::string>{"COM3", "COM5"}
                                                              : std::vector<std::string>{"COM3"};
    EXPECT_EQ(PortItems(), expected);
    EXPECT_EQ(window.PortText(), "COM9");
    EXPECT_FALSE(ListOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Events, PortRefreshTest,
    ::testing::Values(DeviceEvent{"PortArrival", DBT_DEVICEARRIVAL, DBT_DEVTYP_PORT, true},
                      DeviceEvent{"PortRemoval", DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_PORT, true},
                      DeviceEvent{"VolumeArrival", DBT_DEVICEARRIVAL, DBT_DEVTYP_VOLUME, false},
                      DeviceEvent{"PortQueryRemove", DBT_DEVICEQUERYREMOVE, DBT_DEVTYP_PORT, false}),
    [](const ::testing::TestParamInfo<DeviceEvent>& info) { return std::string(info.param.name); });

TEST_F(Win32WindowTest, ThePortListOpensOnlyWhileTheProgramIsActiveAndIdle) {
    ports_.entries = {VirtualPort("COM3")};
    TfrmMain& window = Start();
    bool active = true;
    window.SetActiveQuery([&] { return active; });
    window.Controller().PortsChanged();
    EXPECT_TRUE(ListOpen());
    SendMessageW(window.cbxPort(), CB_SHOWDROPDOWN, FALSE, 0);

    Click(TfrmMain::kBtnProg);
    window.Controller().PortsChanged();
    EXPECT_FALSE(ListOpen());
    Notify(engine::ncFailure, link::feCancelled);

    active = false;
    window.Controller().PortsChanged();
    EXPECT_FALSE(ListOpen());
}

}  // namespace
}  // namespace vantrel::ui::win32

namespace vantrel::ui::win32 {
namespace {

// A name beyond every single-byte code page stays what the operator typed: in the worker's port, the start
// text and the verdict.
TEST_F(Win32WindowTest, ATypedPortIsThePortAsTyped) {
    TfrmMain& window = Start();
    struct Case {
        const wchar_t* typed;
        std::string port;
    };
    const Case cases[] = {{L"COM\u20AC"
                           L"5",
                           "COM\xE2\x82\xAC"
                           "5"},
                          {L"COM5\u0448", "COM5\xD1\x88"}};
    for (const Case& c : cases) {
        SetWindowTextW(window.cbxPort(), c.typed);
        Click(TfrmMain::kBtnProg);
        ASSERT_FALSE(workerRequests.empty());
        EXPECT_EQ(workerRequests.back().port, c.port);
        EXPECT_EQ(window.StatusText(), "Start at serial port \"" + c.port + "\"");
        Notify(engine::ncFailure, link::feNoPort);
        EXPECT_EQ(dialogs_.modals.back().text, "Aborted because serial port \"" + c.port + "\" is not ready!");
    }
}

// A folder of the system's wide names, removed with everything in it.
class WideFolder {
public:
    explicit WideFolder(const std::wstring& name) {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + name;
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~WideFolder() {
        for (const std::wstring& file : files_) DeleteFileW(file.c_str());
        RemoveDirectoryW((path_ + L"\\vantrel").c_str());
        RemoveDirectoryW(path_.c_str());
    }
    const std::wstring& Path() const { return path_; }
    std::wstring Write(const std::wstring& name, const std::string& content) {
        const std::wstring file = path_ + L"\\" + name;
        HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(handle, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(handle);
        files_.push_back(file);
        return file;
    }
    std::string Read(const std::wstring& name) {
        const std::wstring file = path_ + L"\\" + name;
        files_.push_back(file);
        HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return {};
        std::string content(65536, '\0');
        DWORD read = 0;
        ReadFile(handle, content.data(), static_cast<DWORD>(content.size()), &read, nullptr);
        CloseHandle(handle);
        content.resize(read);
        return content;
    }

private:
    std::wstring path_;
    std::vector<std::wstring> files_;
};

constexpr const wchar_t* kWideFolder =
    L"Pr\u00FC"
    L"fung_\u56FA\u4EF6";

// The file dialog's name opens as it is, in a folder no single-byte code page can name.
TEST_F(Win32WindowTest, AnImageFileUnderAnyFolderNameOpens) {
    WideFolder folder(kWideFolder);
    const std::wstring image = folder.Write(L"image.txt",
                                            "bootloader=3\nbootloader version=0\nclass=26145\nversionH=1\n"
                                            "versionL=6\nplatform=15\nprint=19\ndate=03.06.2018 18:51:00\n"
                                            ":00000001FF\n");
    Start({"f:+"}, true);
    dialogs_.file = image;
    Click(TfrmMain::kBtnFile);
    EXPECT_TRUE(dialogs_.modals.empty()) << dialogs_.modals.front().text;
    ASSERT_EQ(workerRequests.size(), 1u);
    ASSERT_NE(workerRequests[0].file, nullptr);
    EXPECT_EQ(workerRequests[0].file->header.qel_verL, 6);
}

// The operator's history sits in a user folder of any name and holds the port as typed, in UTF-8, written
// when the job ends, before its verdict is read.
TEST_F(Win32WindowTest, TheHistoryLineIsUtf8InAFolderOfAnyName) {
    WideFolder folder(kWideFolder);
    const wchar_t* before = _wgetenv(L"LOCALAPPDATA");
    const std::wstring saved = before != nullptr ? before : L"";
    SetEnvironmentVariableW(L"LOCALAPPDATA", folder.Path().c_str());
    _wputenv_s(L"LOCALAPPDATA", folder.Path().c_str());
    TfrmMain& window = Start();
    SetWindowTextW(window.cbxPort(),
                   L"COM\u20AC"
                   L"5");
    Click(TfrmMain::kBtnProg);
    std::string atVerdict;
    dialogs_.duringModal = [&](HWND) { atVerdict = folder.Read(L"vantrel\\updates.log"); };
    Notify(engine::ncFailure, link::feNoPort);
    _wputenv_s(L"LOCALAPPDATA", saved.c_str());
    SetEnvironmentVariableW(L"LOCALAPPDATA", saved.empty() ? nullptr : saved.c_str());
    EXPECT_NE(atVerdict.find(" port=COM\xE2\x82\xAC"
                             "5 "),
              std::string::npos)
        << atVerdict;
}

// A reason longer than the message window wraps inside it and scrolls; nothing of it is cut off.
TEST_F(Win32WindowTest, ALongReasonWrapsAndScrollsInTheMessageWindow) {
    TfrmMain& window = Start();
    std::string reason = "The image file cannot be read: C:\\images\\badheader_missing_class.txt: header field";
    for (int i = 0; i < 12; ++i) reason += " and a further part of the reason that must stay readable";
    window.ShowMessage(reason);
    ASSERT_EQ(dialogs_.modals.size(), 1u);
    const FakeDialogs::Modal& shown = dialogs_.modals[0];
    EXPECT_EQ(shown.text, reason);
    EXPECT_GT(shown.lines, 3);
    EXPECT_TRUE(shown.scrolls);
    EXPECT_GT(shown.lastLineStart, static_cast<int>(reason.size()) - 80);
}

// While a job runs every window of the program shows the hourglass; afterwards none does.
TEST_F(Win32WindowTest, TheHourglassShowsOverEveryWindowWhileBusy) {
    TfrmMain& window = Start({}, true);
    const std::vector<HWND> windows = {window.Handle(), window.frmProtocol()->Handle(), window.frmMessage()->Handle(),
                                       window.frmInfo()->Handle(), window.frmMessage()->Memo()};
    const HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
    const auto pointerOver = [&](HWND target) {
        SetCursor(LoadCursorW(nullptr, IDC_CROSS));
        SendMessageW(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        return GetCursor();
    };
    Click(TfrmMain::kBtnProg);
    for (HWND target : windows) EXPECT_EQ(pointerOver(target), wait) << target;
    Notify(engine::ncFailure, link::feCancelled);
    for (HWND target : windows) EXPECT_NE(pointerOver(target), wait) << target;
}

// The keys go on working without Tab: Cancel has the focus while busy, Update once the verdict is read,
// also when a box had the keys meanwhile.
TEST_F(Win32WindowTest, TheFocusIsOnCancelWhileBusyAndOnUpdateAfterwards) {
    TfrmMain& window = Start({}, true);
    SetForegroundWindow(window.Handle());
    SetActiveWindow(window.Handle());
    Pump();
    ASSERT_EQ(GetActiveWindow(), window.Handle());
    EXPECT_EQ(GetFocus(), window.btnProg());
    Click(TfrmMain::kBtnProg);
    EXPECT_EQ(GetFocus(), window.btnCancel());
    Click(TfrmMain::kBtnCancel);
    EXPECT_EQ(GetFocus(), window.btnCancel());
    Notify(engine::ncFailure, link::feCancelled);
    EXPECT_EQ(GetFocus(), window.btnProg());
    // Another window had the keys (the verdict's box): coming back gives them to Update again.
    SetActiveWindow(window.frmProtocol()->Handle());
    SetActiveWindow(window.Handle());
    Pump();
    EXPECT_EQ(GetFocus(), window.btnProg());
}

// The system's own Yes/No box, answered from the keyboard: Enter takes the default Yes, Escape means No.
TEST(Win32Confirmation, EscapeAnswersNoAndEnterYes) {
    struct Case {
        WPARAM key;
        bool answer;
    };
    for (const Case& c : {Case{VK_ESCAPE, false}, Case{VK_RETURN, true}}) {
        static WPARAM key;
        key = c.key;
        const UINT_PTR timer = WhenTheQuestionOpens([](HWND box) {
            const HWND focus = GetFocus() != nullptr ? GetFocus() : box;
            PostMessageW(focus, WM_KEYDOWN, key, 0);
            PostMessageW(focus, WM_KEYUP, key, 0);
        });
        StandardDialogs dialogs;
        EXPECT_EQ(dialogs.Confirm(nullptr, L"Question?\r\nReally?"), c.answer) << c.key;
        KillTimer(nullptr, timer);
    }
}

}  // namespace
}  // namespace vantrel::ui::win32

namespace vantrel::ui::win32 {
namespace {

using TaskbarShown = std::pair<TaskbarProgress, int>;

class RecordingTaskbarButton final : public TaskbarButton {
public:
    explicit RecordingTaskbarButton(std::vector<TaskbarShown>& shown) : shown_(shown) {}
    void Show(TaskbarProgress state, int position) override { shown_.emplace_back(state, position); }

private:
    std::vector<TaskbarShown>& shown_;
};

// The button takes the progress only once the shell announced it, then follows the job; after a restart of
// the shell a new button shows at once what the old one did.
TEST_F(Win32WindowTest, TheTaskbarButtonFollowsTheJobOnceTheShellMadeIt) {
    TfrmMain& window = Start();
    std::vector<TaskbarShown> shown;
    int made = 0;
    window.SetTaskbarButtonFactory([&](HWND) {
        ++made;
        return std::make_unique<RecordingTaskbarButton>(shown);
    });
    const auto announce = [&] { SendMessageW(window.Handle(), TaskbarButtonCreatedMessage(), 0, 0); };
    Click(TfrmMain::kBtnProg);
    Notify(engine::ncProgress, 30);
    EXPECT_FALSE(window.HasTaskbarButton());
    struct Step {
        const char* what;
        std::function<void()> act;
        TaskbarShown last;
    };
    const Step steps[] = {
        {"announced mid-job", announce, {TaskbarProgress::Normal, 30}},
        {"progress", [&] { Notify(engine::ncProgress, 42); }, {TaskbarProgress::Normal, 42}},
        {"failure verdict", [&] { Notify(engine::ncFailure, link::feNoPort); }, {TaskbarProgress::Error, 42}},
        {"the next job", [&] { Click(TfrmMain::kBtnProg); }, {TaskbarProgress::Normal, 0}},
        {"success", [&] { Notify(engine::ncDone, 0); }, {TaskbarProgress::None, 0}},
        {"the shell restarted", announce, {TaskbarProgress::None, 0}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const std::size_t before = shown.size();
        step.act();
        ASSERT_GT(shown.size(), before);
        EXPECT_EQ(shown.back().first, step.last.first);
        if (step.last.first != TaskbarProgress::None) EXPECT_EQ(shown.back().second, step.last.second);
    }
    EXPECT_EQ(made, 2);
    EXPECT_TRUE(window.HasTaskbarButton());
}

// Where the shell offers no taskbar list there is no button, and the window runs a job as it does without
// one; with the system's own shell, whatever it offers, the same.
TEST_F(Win32WindowTest, AJobRunsTheSameWithOrWithoutTheShellsTaskbarList) {
    for (const bool shell : {false, true}) {
        SCOPED_TRACE(shell ? "the system's shell" : "no taskbar list");
        const HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ports_.entries = {VirtualPort("COM4")};
        TfrmMain& window = Start();
        if (!shell) window.SetTaskbarButtonFactory([](HWND) { return std::unique_ptr<TaskbarButton>(); });
        SendMessageW(window.Handle(), TaskbarButtonCreatedMessage(), 0, 0);
        if (!shell) EXPECT_FALSE(window.HasTaskbarButton());
        Click(TfrmMain::kBtnProg);
        ExpectBusy();
        Notify(engine::ncProgress, 55);
        EXPECT_EQ(window.Progress(), 55);
        EXPECT_EQ(Utf8Text(window.Handle()), "55%");
        Notify(engine::ncFailure, link::feNoPort);
        ExpectIdle();
        EXPECT_EQ(dialogs_.modals.back().text, "Aborted because serial port \"COM4\" is not ready!");
        window_.reset();
        Pump();
        if (SUCCEEDED(started)) CoUninitialize();
    }
}

}  // namespace
}  // namespace vantrel::ui::win32

namespace vantrel::ui::win32 {
namespace {

// How many pixels of a drawn port item, right of x, differ from the list's background.
int InkRightOf(TfrmMain& window, int index, int x) {
    const HWND box = window.cbxPort();
    const int width = static_cast<int>(SendMessageW(box, CB_GETDROPPEDWIDTH, 0, 0));
    const int height = static_cast<int>(SendMessageW(box, CB_GETITEMHEIGHT, 0, 0));
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ old = SelectObject(dc, bitmap);
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_COMBOBOX;
    item.CtlID = TfrmMain::kCbxPort;
    item.itemID = static_cast<UINT>(index);
    item.itemAction = ODA_DRAWENTIRE;
    item.hwndItem = box;
    item.hDC = dc;
    item.rcItem = {0, 0, width, height};
    SendMessageW(window.Handle(), WM_DRAWITEM, TfrmMain::kCbxPort, reinterpret_cast<LPARAM>(&item));
    const COLORREF background = GetSysColor(COLOR_WINDOW);
    int ink = 0;
    for (int px = x; px < width; ++px) {
        for (int py = 0; py < height; ++py) ink += GetPixel(dc, px, py) != background ? 1 : 0;
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return ink;
}

// Beside each name the list shows what the port's adapter says of itself, in a column of its own that the
// list is wide enough for; the items, the box's text and the port of a job stay the names alone.
TEST_F(Win32WindowTest, ThePortListShowsEachAdaptersTextBesideTheNameWhichStaysThePort) {
    app::PortEntry described = VirtualPort("COM5");
    described.identity.product = "FT232R USB UART";
    described.identity.serialNumber = "A10K3X9Q";
    ports_.entries = {described, VirtualPort("COM7")};
    TfrmMain& window = Start();
    EXPECT_EQ(PortItems(), (std::vector<std::string>{"COM5", "COM7"}));
    EXPECT_EQ(window.PortText(), "COM5");

    // The name's column ends well before where the adapter's text is drawn.
    const HWND box = window.cbxPort();
    const HDC dc = GetDC(box);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(box, WM_GETFONT, 0, 0)));
    SIZE name{}, description{};
    GetTextExtentPoint32W(dc, L"COM5", 4, &name);
    const std::wstring text = FromText(app::PortIdentityText(described.identity));
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &description);
    SelectObject(dc, old);
    ReleaseDC(box, dc);
    const int beyondName = name.cx + 10;
    EXPECT_GT(InkRightOf(window, 0, beyondName), 0);
    EXPECT_EQ(InkRightOf(window, 1, beyondName), 0);
    EXPECT_GE(SendMessageW(box, CB_GETDROPPEDWIDTH, 0, 0), name.cx + description.cx);

    // Picking the described item from the keyboard puts its name alone in the box, and a job uses it.
    SendMessageW(box, CB_SETCURSEL, 1, 0);
    SendMessageW(box, CB_SETCURSEL, 0, 0);
    EXPECT_EQ(window.PortText(), "COM5");
    Click(TfrmMain::kBtnProg);
    ASSERT_EQ(workerRequests.size(), 1u);
    EXPECT_EQ(workerRequests[0].port, "COM5");
    Notify(engine::ncFailure, link::feCancelled);

    // A new list brings its own texts: none stays with a name it did not come with.
    ports_.entries = {VirtualPort("COM7"), described};
    window.Controller().PortsChanged();
    EXPECT_EQ(InkRightOf(window, 0, beyondName), 0);
    EXPECT_GT(InkRightOf(window, 1, beyondName), 0);
}

// Drawing the items itself, the box still looks as the system's plain one at the same font.
TEST_F(Win32WindowTest, ThePortBoxHasThePlainBoxsHeight) {
    TfrmMain& window = Start();
    for (const int dpi : {96, 144}) {
        SCOPED_TRACE(dpi);
        RECT outline{};
        GetWindowRect(window.Handle(), &outline);
        SendMessageW(window.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&outline));
        const HWND plain = CreateWindowExW(0, WC_COMBOBOXW, L"", WS_CHILD | CBS_DROPDOWN, 0, 0, 100, 200,
                                           window.Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
        SendMessageW(plain, WM_SETFONT, SendMessageW(window.cbxPort(), WM_GETFONT, 0, 0), FALSE);
        RECT ours{}, theirs{};
        GetWindowRect(window.cbxPort(), &ours);
        GetWindowRect(plain, &theirs);
        EXPECT_EQ(ours.bottom - ours.top, theirs.bottom - theirs.top);
        EXPECT_EQ(SendMessageW(window.cbxPort(), CB_GETITEMHEIGHT, 0, 0), SendMessageW(plain, CB_GETITEMHEIGHT, 0, 0));
        DestroyWindow(plain);
    }
}

// As a screen reader names them: a control with a text by that text without its underline mark (the
// characters the window shows), one without by the static label before it; Tab walks the controls in the
// order they are laid out.
TEST_F(Win32WindowTest, ControlsHaveNamesAndTabFollowsTheLayout) {
    TfrmMain& window = Start({"f:+"}, true);
    const auto shownText = [](HWND control) {
        std::wstring text = Text(control);
        const std::size_t mark = text.find(L'&');
        if (mark != std::wstring::npos) text.erase(mark, 1);
        return ToUtf8(text);
    };
    const auto label = [](HWND control) {
        const HWND before = GetWindow(control, GW_HWNDPREV);
        wchar_t kind[32] = {};
        GetClassNameW(before, kind, 32);
        return lstrcmpiW(kind, L"Static") == 0 ? ToUtf8(Text(before)) : std::string("(no label)");
    };
    EXPECT_EQ(shownText(window.btnProg()), "Update");
    EXPECT_EQ(shownText(window.btnFile()), "File");
    EXPECT_EQ(shownText(window.btnCancel()), "Cancel");
    EXPECT_EQ(shownText(window.btnClose()), "Close");
    EXPECT_EQ(shownText(window.chkReadInfoOnly()), "Read info only");
    EXPECT_EQ(label(window.cbxPort()), "Comport:");
    EXPECT_EQ(label(window.ProgressBar1()), "Progress");
    EXPECT_EQ(label(window.frmProtocol()->Memo()), "Report");
    EXPECT_EQ(label(window.frmMessage()->Memo()), "Information");
    EXPECT_EQ(label(window.frmInfo()->List()), "Overview");
    // The labels that are not seen stay unseen.
    EXPECT_FALSE(Shown(GetWindow(window.ProgressBar1(), GW_HWNDPREV)));

    std::vector<HWND> order = {window.cbxPort()};
    for (HWND next = GetNextDlgTabItem(window.Handle(), order.back(), FALSE); next != order.front();
         next = GetNextDlgTabItem(window.Handle(), next, FALSE)) {
        ASSERT_LT(order.size(), 10u);
        order.push_back(next);
    }
    EXPECT_EQ(order, (std::vector<HWND>{window.cbxPort(), window.btnProg(), window.btnFile(), window.btnClose(),
                                        window.chkReadInfoOnly()}));
    for (std::size_t i = 1; i < order.size(); ++i) {
        const RECT before = Client(order[i - 1]), after = Client(order[i]);
        EXPECT_TRUE(after.top > before.top || (after.top == before.top && after.left > before.left)) << i;
    }
}

// Alt and the underlined letter reach each button as a click does; the check box toggles.
TEST_F(Win32WindowTest, TheUnderlinedLettersActAsClicks) {
    TfrmMain& window = Start({"f:+"}, true);
    const auto alt = [&](wchar_t letter) {
        MSG message{window.Handle(), WM_SYSCHAR, letter, static_cast<LPARAM>(1u << 29), 0, {}};
        if (!DialogKeys(window.Handle(), message)) DispatchMessageW(&message);
        Pump();
    };
    alt(L'r');
    EXPECT_TRUE(window.Checked(Control::ReadInfoOnly));
    alt(L'r');
    EXPECT_FALSE(window.Checked(Control::ReadInfoOnly));
    alt(L'u');
    ASSERT_EQ(workerRequests.size(), 1u);
    ExpectBusy();
    alt(L'c');
    EXPECT_TRUE(link::CancelRequested.load());
    Notify(engine::ncFailure, link::feCancelled);
    ExpectIdle();
    dialogs_.file = L"C:\\no such folder\\image.txt";
    alt(L'f');
    ASSERT_FALSE(dialogs_.modals.empty());
    EXPECT_EQ(dialogs_.modals.back().text.rfind("The image file cannot be read: ", 0), 0u);
    const HWND hwnd = window.Handle();
    alt(L'l');
    EXPECT_FALSE(IsWindow(hwnd));
}

// A letter acts only with Alt, whichever control has the keys, idle and busy: a stray letter never closes
// the program, starts a job or ticks the box; in the port box it is typed.
TEST_F(Win32WindowTest, ALetterActsOnlyWithAltWhateverHasTheFocus) {
    enum class Outcome { Nothing, Closes, Starts, Toggles, Cancels, Typed };
    struct Case {
        Control focus;
        bool busy;
        wchar_t letter;
        bool alt;
        Outcome outcome;
    };
    const Case cases[] = {
        {Control::Update, false, L'l', false, Outcome::Nothing},
        {Control::Update, false, L'u', false, Outcome::Nothing},
        {Control::Update, false, L'r', false, Outcome::Nothing},
        {Control::Close, false, L'l', false, Outcome::Nothing},
        {Control::Close, false, L'u', false, Outcome::Nothing},
        {Control::ReadInfoOnly, false, L'r', false, Outcome::Nothing},
        {Control::ReadInfoOnly, false, L'u', false, Outcome::Nothing},
        {Control::PortBox, false, L'u', false, Outcome::Typed},
        {Control::PortBox, false, L'l', false, Outcome::Typed},
        {Control::Cancel, true, L'c', false, Outcome::Nothing},
        {Control::Cancel, true, L'l', false, Outcome::Nothing},
        {Control::Cancel, true, L'u', false, Outcome::Nothing},
        {Control::Update, false, L'l', true, Outcome::Closes},
        {Control::Update, false, L'U', true, Outcome::Starts},
        {Control::Update, false, L'r', true, Outcome::Toggles},
        {Control::ReadInfoOnly, false, L'u', true, Outcome::Starts},
        {Control::PortBox, false, L'u', true, Outcome::Starts},
        {Control::PortBox, false, L'l', true, Outcome::Closes},
        {Control::Cancel, true, L'c', true, Outcome::Cancels},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "focus " << static_cast<int>(c.focus) << (c.busy ? " busy " : " idle ")
                                        << (c.alt ? "Alt+" : "") << static_cast<char>(c.letter));
        window_.reset();
        engine::ResetProcessState();
        workerRequests.clear();
        ports_.entries = {VirtualPort("COM5")};
        TfrmMain& window = Start({}, true);
        SetForegroundWindow(window.Handle());
        SetActiveWindow(window.Handle());
        if (c.busy) Click(TfrmMain::kBtnProg);
        window.SetFocus(c.focus);
        Pump();
        const HWND hwnd = window.Handle();
        const std::size_t jobs = workerRequests.size();
        const bool ticked = window.Checked(Control::ReadInfoOnly);
        MSG message{GetFocus(), c.alt ? static_cast<UINT>(WM_SYSCHAR) : static_cast<UINT>(WM_CHAR),
                    c.letter,   c.alt ? static_cast<LPARAM>(1u << 29) : 0,
                    0,          {}};
        ASSERT_TRUE(message.hwnd == hwnd || IsChild(hwnd, message.hwnd));
        if (!DialogKeys(hwnd, message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Pump();
        ASSERT_EQ(IsWindow(hwnd) != 0, c.outcome != Outcome::Closes);
        if (c.outcome == Outcome::Closes) continue;
        EXPECT_EQ(workerRequests.size(), jobs + (c.outcome == Outcome::Starts ? 1 : 0));
        EXPECT_EQ(window.Checked(Control::ReadInfoOnly), ticked != (c.outcome == Outcome::Toggles));
        EXPECT_EQ(link::CancelRequested.load(), c.outcome == Outcome::Cancels);
        const std::string port = window.PortText();
        if (c.outcome == Outcome::Typed) EXPECT_EQ(port.back(), static_cast<char>(c.letter)) << port;
        else EXPECT_EQ(port, "COM5");
    }
}

// After a line wider than the report the view goes back to column 0: the start of every later line is seen.
TEST_F(Win32WindowTest, TheReportShowsEachLineFromItsStart) {
    TfrmMain& window = Start({}, true);
    const HWND memo = window.frmProtocol()->Memo();
    window.AddReport("Aborted because error " + std::string(300, 'x'));
    window.AddReport("Restarted because error in communication");
    const auto lastLine = SendMessageW(memo, EM_GETLINECOUNT, 0, 0) - 1;
    const auto start = SendMessageW(memo, EM_LINEINDEX, static_cast<WPARAM>(lastLine), 0);
    const auto where = SendMessageW(memo, EM_POSFROMCHAR, static_cast<WPARAM>(start), 0);
    RECT area{};
    SendMessageW(memo, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&area));
    EXPECT_GE(static_cast<short>(LOWORD(where)), area.left);
    EXPECT_LT(static_cast<short>(LOWORD(where)), area.left + 4);
}

// The question after Update never opens with a button under the Update button the operator just clicked,
// at any DPI: the second click of a double click lands on the main window, which the question disables.
TEST_F(Win32WindowTest, TheQuestionsButtonsOpenClearOfTheUpdateButton) {
    TfrmMain& window = Start();
    SetForegroundWindow(window.Handle());
    SetActiveWindow(window.Handle());
    for (const int dpi : {96, 144}) {
        SCOPED_TRACE(dpi);
        RECT outline{};
        GetWindowRect(window.Handle(), &outline);
        SendMessageW(window.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&outline));
        window.SetFocus(Control::Update);
        ASSERT_EQ(GetFocus(), window.btnProg());
        RECT update{};
        GetWindowRect(window.btnProg(), &update);
        SetCursorPos((update.left + update.right) / 2, (update.top + update.bottom) / 2);
        static RECT yes, no;
        static SIZE size;
        yes = no = {};
        size = {};
        const UINT_PTR timer = WhenTheQuestionOpens([](HWND box) {
            GetWindowRect(GetDlgItem(box, IDYES), &yes);
            GetWindowRect(GetDlgItem(box, IDNO), &no);
            RECT outline{};
            GetWindowRect(box, &outline);
            size = {outline.right - outline.left, outline.bottom - outline.top};
            PostMessageW(GetDlgItem(box, IDNO), WM_KEYDOWN, VK_ESCAPE, 0);
        });
        StandardDialogs dialogs;
        EXPECT_FALSE(dialogs.Confirm(window.Handle(), FromText(*app::UpdateConfirmation())));
        KillTimer(nullptr, timer);
        ASSERT_FALSE(IsRectEmpty(&yes));
        RECT overlap{};
        EXPECT_FALSE(IntersectRect(&overlap, &yes, &update));
        EXPECT_FALSE(IntersectRect(&overlap, &no, &update));
        // Moved, not made smaller: the box is as large as the system made it for the question.
        EXPECT_GT(size.cy, yes.bottom - yes.top);
    }
}

// A progress notification reaches the window with the records it counts, so that the time left is measured
// from the records' rate once programming runs, not only bounded by the fixed waits.
TEST_F(Win32WindowTest, TheTimeLeftIsMeasuredOnceRecordsGoOverTheLine) {
    TfrmMain& window = Start();
    const auto timeLeft = [&] {
        if (SendMessageW(window.StatusBar1(), SB_GETPARTS, 0, 0) < 2) return std::string();
        wchar_t text[256] = {};
        SendMessageW(window.StatusBar1(), SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(text));
        return ToUtf8(text);
    };
    Click(TfrmMain::kBtnProg);
    EXPECT_EQ(timeLeft().rfind("at least ", 0), 0u) << timeLeft();
    Notify(engine::ncUpdateStart, 0);
    ASSERT_TRUE(engine::PostNotification(window.NotificationHandle(), {engine::ncProgress, 10, 100, 1000}));
    Pump();
    Sleep(20);
    ASSERT_TRUE(engine::PostNotification(window.NotificationHandle(), {engine::ncProgress, 20, 200, 1000}));
    Pump();
    EXPECT_EQ(window.Progress(), 20);
    // The text is renewed once a second; generous room for a slow machine.
    std::string shown = timeLeft();
    for (int i = 0; i < 300 && shown.rfind("at least ", 0) == 0; ++i) {
        Sleep(10);
        Pump();
        shown = timeLeft();
    }
    EXPECT_NE(shown.find(" left"), std::string::npos) << shown;
    EXPECT_EQ(shown.rfind("at least ", 0), std::string::npos) << shown;
    // Its part is as wide as it needs, no more: the status text keeps the rest of the bar.
    RECT part{};
    SendMessageW(window.StatusBar1(), SB_GETRECT, 1, reinterpret_cast<LPARAM>(&part));
    const HDC dc = GetDC(window.StatusBar1());
    const HGDIOBJ old = SelectObject(dc,
                                     reinterpret_cast<HGDIOBJ>(SendMessageW(window.StatusBar1(), WM_GETFONT, 0, 0)));
    SIZE text{};
    const std::wstring wide = FromText(shown);
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &text);
    SelectObject(dc, old);
    ReleaseDC(window.StatusBar1(), dc);
    EXPECT_GT(part.right - part.left, text.cx);
    EXPECT_LT(part.right - part.left, text.cx + At96Ppi(40, window.Dpi()));
    Notify(engine::ncFailure, link::feCancelled);
    EXPECT_EQ(timeLeft(), "");
}

}  // namespace
}  // namespace vantrel::ui::win32
