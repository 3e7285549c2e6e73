// The main window: port box, progress bar, Update / File / Cancel / Close, status line and the Info menu, on
// the system's own controls. It decides nothing: its controls' events go to the main-window controller
// (ui/main_window_controller.h), which sets the controls back through MainWindowView. The worker's
// notifications arrive as a registered window message posted to its handle and go to the controller too.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/port_list.h"
#include "ui/main_window_controller.h"
#include "ui/win32/taskbar_button.h"
#include "ui/win32/window_base.h"

namespace vantrel::ui::win32 {

class OperatorDialogs;
class TfrmInfo;
class TfrmMessage;
class TfrmProtocol;

// The message the worker's notifications arrive as: wParam the code, lParam the value.
UINT NotificationMessage();

// An arrival or removal whose header names a port; other device types and events change nothing.
bool IsPortDeviceChange(WPARAM wParam, LPARAM lParam);

class TfrmMain final : public WindowBase, public MainWindowView {
public:
    // Creating the window is its part of start-up (the controller's Start). Hidden until Show. The
    // secondary windows do not exist yet; InitForms creates them afterwards.
    TfrmMain(OperatorDialogs& dialogs, app::PortSource& ports);
    ~TfrmMain() override;

    // Creates the overview, the report window (which places itself under this one) and the message window,
    // in this order.
    void InitForms();
    // Shown centred on its monitor; the first idle moment decides whether the report is seen.
    void Show();

    TfrmInfo* frmInfo() const { return frmInfo_.get(); }
    TfrmProtocol* frmProtocol() const { return frmProtocol_.get(); }
    TfrmMessage* frmMessage() const { return frmMessage_.get(); }
    MainWindowController& Controller() { return controller_; }
    bool Busy() const { return controller_.Busy(); }
    // The status line and its tooltip, in UTF-8.
    std::string StatusText() const;
    std::string StatusHint() const;

    // The controls, for the tests and the program's own keyboard handling.
    HWND cbxPort() const { return cbxPort_; }
    HWND ProgressBar1() const { return ProgressBar1_; }
    HWND btnProg() const { return btnProg_; }
    HWND btnFile() const { return btnFile_; }
    HWND btnCancel() const { return btnCancel_; }
    HWND btnClose() const { return btnClose_; }
    HWND chkReadInfoOnly() const { return chkReadInfoOnly_; }
    HWND StatusBar1() const { return StatusBar1_; }
    HMENU menInfo() const { return menInfo_; }
    // Menu commands and controls, as WM_COMMAND identifiers.
    enum Command : int {
        kMenInfoFirmware = 101,
        kMenInfoFile = 102,
        kMenFileExit = 103,
        kBtnProg = 201,
        kBtnFile = 202,
        kBtnCancel = 203,
        kBtnClose = 204,
        kCbxPort = 205,
        kChkReadInfoOnly = 206,
    };

    // The controller's timers run as window timers, so the window stays responsive and a Cancel given
    // during a restart's wait stops the restarted job. Tests take over the restart's wait.
    using RestartTimer = std::function<void(std::chrono::milliseconds, std::function<void()>)>;
    void SetRestartTimer(RestartTimer timer) { restartTimer_ = std::move(timer); }
    // Whether the program is the one the operator works with; the system's foreground window by default.
    void SetActiveQuery(std::function<bool()> query) { activeQuery_ = std::move(query); }
    // The program ends when this window is gone (the message loop's WM_QUIT); tests keep their loop.
    void SetQuitOnDestroy(bool quit) { quitOnDestroy_ = quit; }
    // Makes the taskbar button's progress once the shell announced the button; the shell's by default.
    using TaskbarButtonFactory = std::function<std::unique_ptr<TaskbarButton>(HWND)>;
    void SetTaskbarButtonFactory(TaskbarButtonFactory factory) { taskbarFactory_ = std::move(factory); }
    bool HasTaskbarButton() const { return taskbarButton_ != nullptr; }

    // MainWindowView.
    void SetEnabled(Control control, bool enabled) override;
    void SetVisible(Control control, bool visible) override;
    void SetFocus(Control control) override;
    void SetText(Text which, const std::string& text) override;
    void SetChecked(Control control, bool checked) override;
    bool Checked(Control control) const override;
    void LayOutUpdateButtons(bool fileButton) override;
    void ReplaceDialogTexts(const DialogTexts& texts) override;
    std::string PortText() const override;
    void SetPortItems(const std::vector<std::string>& names, bool selectFirst) override;
    void SetPortItemDescriptions(const std::vector<std::string>& descriptions) override;
    void DropDownPortList() override;
    void SetProgress(int position) override;
    int Progress() const override;
    void SetTaskbarProgress(TaskbarProgress state, int position) override;
    void SetHourglass(bool on) override;
    void Beep() override;
    bool Active() const override { return activeQuery_(); }
    void RequestAttention() override;
    void AddReport(const std::string& text) override;
    void ClearReport() override;
    void SetReportVisible(bool visible) override;
    void ShowMessage(const std::string& text) override;
    void ShowOverview(const std::vector<app::OverviewRow>& rows) override;
    bool AskYesNo(const std::string& question) override;
    std::optional<std::filesystem::path> ChooseFile(const std::filesystem::path& initialPath) override;
    std::filesystem::path ProgramFile() const override;
    void StartTimer(Timer timer, std::chrono::milliseconds delay, std::function<void()> expired) override;
    void StopTimer(Timer timer) override;
    std::int32_t NotificationHandle() const override { return handle_; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void CreateControls();
    void Layout();
    void SetDpi(int dpi);
    void DockReportWindow();
    void ShowStatus();
    // The status line's tooltip, which repeats its text: message is TTM_ADDTOOLW, TTM_UPDATETIPTEXTW or
    // TTM_GETTEXTW (size: the room at text).
    void StatusTip(UINT message, wchar_t* text, WPARAM size) const;
    // The window became active or inactive: the focused control is kept and given back, as in a dialog.
    void Activated(bool active);
    HWND ControlWindow(Control control) const;
    // The port box's items are drawn by the window: the name, and in a second column in grey what the
    // port's adapter says of itself. The column and the list's width follow the names, texts and font.
    void ArrangePortColumns();
    void DrawPortItem(const DRAWITEMSTRUCT& item) const;

    OperatorDialogs& dialogs_;
    std::int32_t handle_ = 0;
    RestartTimer restartTimer_;
    std::array<std::function<void()>, 2> timers_;
    std::function<bool()> activeQuery_;
    bool quitOnDestroy_ = false;
    TaskbarButtonFactory taskbarFactory_ = &ShellTaskbarButton;
    std::unique_ptr<TaskbarButton> taskbarButton_;
    // What the button shows, kept for a button the shell makes (again) later.
    TaskbarProgress taskbarState_ = TaskbarProgress::None;
    int taskbarPosition_ = 0;

    HWND Bevel1_ = nullptr;
    HWND Label1_ = nullptr;
    HWND cbxPort_ = nullptr;
    HWND ProgressBar1_ = nullptr;
    HWND btnProg_ = nullptr;
    HWND btnFile_ = nullptr;
    HWND btnCancel_ = nullptr;
    HWND btnClose_ = nullptr;
    HWND chkReadInfoOnly_ = nullptr;
    HWND StatusBar1_ = nullptr;
    HWND statusTip_ = nullptr;
    HMENU menInfo_ = nullptr;
    HWND focus_ = nullptr;

    std::unique_ptr<TfrmInfo> frmInfo_;
    std::unique_ptr<TfrmProtocol> frmProtocol_;
    std::unique_ptr<TfrmMessage> frmMessage_;

    bool fileButtons_ = false;
    std::vector<std::wstring> portDescriptions_;
    int portDescriptionLeft_ = 0;
    std::wstring statusText_;
    std::wstring timeLeftText_;
    bool firstIdlePosted_ = false;

    // Last: it sets the controls from its first call on.
    MainWindowController controller_;
};

}  // namespace vantrel::ui::win32
