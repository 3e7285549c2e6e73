// The main window: port box, progress bar, Update / File / Cancel / Close, status line and the Info menu.
// It owns the job: it asks what the option flags call for, prepares the image source, starts one worker,
// switches between idle and busy, lets the operator cancel, and guards closing while a job runs. The
// worker reaches it only through notifications, which arrive as posted events and go to the presenter.
#pragma once

#include <QMainWindow>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "ui/port_list.h"
#include "ui/presenter.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QStatusBar;

namespace vantrel::ui::qt {

class OperatorDialogs;
class TfrmInfo;
class TfrmMessage;
class TfrmProtocol;
class TElidedLabel;

class TfrmMain final : public QMainWindow, public WindowOps {
    Q_OBJECT
public:
    // Creating the window is its part of start-up: caption and menu, dialog texts, internal mode and the
    // command-line options, the file-mode layout, the port list, the status line, then idle. The
    // secondary windows do not exist yet; InitForms hands them over afterwards.
    TfrmMain(OperatorDialogs& dialogs, PortSource& ports, QWidget* parent = nullptr);
    ~TfrmMain() override;

    void SetSecondaryWindows(TfrmInfo* info, TfrmProtocol* protocol, TfrmMessage* message);
    TfrmInfo* frmInfo() const { return frmInfo_; }
    TfrmProtocol* frmProtocol() const { return frmProtocol_; }
    TfrmMessage* frmMessage() const { return frmMessage_; }

    // The presenter's operations.
    void AddReport(const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    void ShowInfoMessage(const std::string& text) override;
    void ShowBusy(bool busy) override;
    bool ReadInfoOnlyChosen() const override;
    void SetProgressPosition(int position) override;
    int ProgressPosition() const override;
    void SetApplicationTitle(const std::string& title) override;
    void Beep() override;
    std::string PortText() const override;
    void ScheduleRestart(std::chrono::milliseconds delay, std::function<void()> restart) override;

    // Clears the report and selects the image source; false, with the operator told which file failed
    // and why, when the image file cannot be read.
    bool PrepareImageSource(const QString& fileName);
    void ApplyFileModeLayout();
    // A port arrived or went.
    void RefreshPorts();

    // Returns to the idle state, as start-up ends.
    void SetIdle() { jobs_.SetIdle(); }
    bool Busy() const { return jobs_.Busy(); }
    std::int32_t WindowHandle() const override { return handle_; }
    // The whole status text; the status line shows what fits of it and the tooltip all of it.
    QString StatusText() const;

    // How the window waits before a communication restart: a single-shot timer by default, so the
    // window stays responsive and a Cancel given meanwhile stops the restarted job. Tests take over the
    // wait to decide what happens during it.
    using RestartTimer = std::function<void(std::chrono::milliseconds, std::function<void()>)>;
    void SetRestartTimer(RestartTimer timer) { restartTimer_ = std::move(timer); }

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void CreateControls();
    void DockReportWindow();
    void ApplicationEvents1Idle();

    void btnProgClick();
    void btnFileClick();
    void btnCancelClick();
    void menInfoFirmwareClick();
    void menInfoFileClick();

    OperatorDialogs& dialogs_;
    PortSource& ports_;
    // Every job leaves its summary line in the operator's history, whatever the window shows.
    JobControl jobs_{*this, std::nullopt, AppendToUserHistory};
    Presenter presenter_{*this, jobs_};
    std::int32_t handle_ = 0;
    RestartTimer restartTimer_;

    QFrame* Panel1 = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* cbxPort = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* btnProg = nullptr;
    QPushButton* btnFile = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnClose = nullptr;
    QCheckBox* chkReadInfoOnly = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    TElidedLabel* StatusText1 = nullptr;
    QMenu* menInfo = nullptr;
    QAction* menInfoFirmware = nullptr;
    QAction* menInfoFile = nullptr;
    QAction* menFileExit = nullptr;

    TfrmInfo* frmInfo_ = nullptr;
    TfrmProtocol* frmProtocol_ = nullptr;
    TfrmMessage* frmMessage_ = nullptr;

    QString initialDir_;
    std::string FPort;
    bool hourglass_ = false;
    bool firstIdleScheduled_ = false;
    bool closed_ = false;
};

}  // namespace vantrel::ui::qt
