// The main window: port box, progress bar, Update / File / Cancel / Close, status line and the Info menu.
// It owns the job: it asks what the option flags call for, prepares the image source, starts one worker,
// switches between idle and busy, lets the operator cancel, and guards closing while a job runs. The
// worker reaches it only through notifications, which arrive as a registered window message posted to its
// handle and go to the presenter.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ui/job_control.h"
#include "ui/port_list.h"
#include "ui/presenter.h"
#include "ui/win32/window_base.h"
#include "ui/window_ops.h"

namespace vantrel::ui::win32 {

class OperatorDialogs;
class TfrmInfo;
class TfrmMessage;
class TfrmProtocol;

// The message the worker's notifications arrive as: wParam the code, lParam the value.
UINT NotificationMessage();

// An arrival or removal whose header names a port; other device types and events change nothing.
bool IsPortDeviceChange(WPARAM wParam, LPARAM lParam);

class TfrmMain final : public WindowBase, public WindowOps {
public:
    // Creating the window is its part of start-up: caption and menu, dialog texts, internal mode and the
    // command-line options, the file-mode layout, the port list, the status line, then idle. Hidden until
    // Show. The secondary windows do not exist yet; InitForms creates them afterwards.
    TfrmMain(OperatorDialogs& dialogs, PortSource& ports);
    ~TfrmMain() override;

    // Creates the overview, the report window (which places itself under this one) and the message window,
    // in this order.
    void InitForms();
    // Shown centred on its monitor; the first idle moment decides whether the report is seen.
    void Show();

    TfrmInfo* frmInfo() const { return frmInfo_.get(); }
    TfrmProtocol* frmProtocol() const { return frmProtocol_.get(); }
    TfrmMessage* frmMessage() const { return frmMessage_.get(); }

    // The presenter's operations.
    void AddReport(const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    void ShowInfoMessage(const std::string& text) override;
    void ShowBusy(bool busy) override;
    bool ReadInfoOnlyChosen() const override;
    std::int32_t WindowHandle() const override { return handle_; }
    void SetProgressPosition(int position) override;
    int ProgressPosition() const override;
    void SetApplicationTitle(const std::string& title) override;
    void Beep() override;
    std::string PortText() const override;
    void ScheduleRestart(std::chrono::milliseconds delay, std::function<void()> restart) override;

    // Clears the report and selects the image source; false, with the operator told which file failed
    // and why, when the image file cannot be read.
    bool PrepareImageSource(const std::wstring& fileName);
    // A port arrived or went.
    void RefreshPorts();

    void SetIdle() { jobs_.SetIdle(); }
    bool Busy() const { return jobs_.Busy(); }
    int Dpi() const { return dpi_; }
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
    // Menu commands, as WM_COMMAND identifiers.
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

    // How the window waits before a communication restart: a window timer by default, so the window stays
    // responsive and a Cancel given meanwhile stops the restarted job. Tests take over the wait.
    using RestartTimer = std::function<void(std::chrono::milliseconds, std::function<void()>)>;
    void SetRestartTimer(RestartTimer timer) { restartTimer_ = std::move(timer); }
    // Whether the program is the one the operator works with; the system's foreground window by default.
    void SetActiveQuery(std::function<bool()> query) { activeQuery_ = std::move(query); }
    // The program ends when this window is gone (the message loop's WM_QUIT); tests keep their loop.
    void SetQuitOnDestroy(bool quit) { quitOnDestroy_ = quit; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void CreateControls();
    void ApplyFileModeLayout();
    void Layout();
    void SetDpi(int dpi);
    void DockReportWindow();
    void ApplicationEvents1Idle();
    bool CloseQuery();

    void btnProgClick();
    void btnFileClick();
    void btnCancelClick();
    void menInfoFirmwareClick();
    void menInfoFileClick();

    OperatorDialogs& dialogs_;
    PortSource& ports_;
    std::int32_t handle_ = 0;
    // Every job leaves its summary line in the operator's history, whatever the window shows.
    JobControl jobs_{*this, std::nullopt, AppendToUserHistory};
    Presenter presenter_{*this, jobs_};
    RestartTimer restartTimer_;
    std::function<void()> pendingRestart_;
    std::function<bool()> activeQuery_;
    bool quitOnDestroy_ = false;

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

    std::unique_ptr<TfrmInfo> frmInfo_;
    std::unique_ptr<TfrmProtocol> frmProtocol_;
    std::unique_ptr<TfrmMessage> frmMessage_;

    int dpi_ = 96;
    HFONT font_ = nullptr;
    bool fileButtons_ = false;
    std::wstring initialDir_;
    std::wstring statusText_;
    std::string FPort;
    bool hourglass_ = false;
    bool firstIdleDone_ = false;
    bool closed_ = false;
};

}  // namespace vantrel::ui::win32
