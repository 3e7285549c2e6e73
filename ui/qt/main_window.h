// The main window's widgets: port box, progress bar, Update / File / Cancel / Close, the status line with
// its time-left part, and the Info menu. Every decision is the controller's (ui/main_window_controller.h):
// the window passes the operator's clicks, its close, its first idle moment, port changes and the worker's
// notifications on, and carries out what the controller sets.
#pragma once

#include <QMainWindow>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "app/port_list.h"
#include "ui/main_window_controller.h"
#include "ui/qt/main_window_widgets.h"

class QTimer;

namespace vantrel::ui::qt {

class OperatorDialogs;
class TfrmInfo;
class TfrmMessage;
class TfrmProtocol;

class TfrmMain final : public QMainWindow, public MainWindowView {
    Q_OBJECT
public:
    // Creating the window is its part of start-up (the controller's Start), then its size and place. The
    // secondary windows do not exist yet; InitForms hands them over afterwards.
    TfrmMain(OperatorDialogs& dialogs, app::PortSource& ports, QWidget* parent = nullptr);
    ~TfrmMain() override;

    void SetSecondaryWindows(TfrmInfo* info, TfrmProtocol* protocol, TfrmMessage* message);
    TfrmInfo* frmInfo() const { return frmInfo_; }
    TfrmProtocol* frmProtocol() const { return frmProtocol_; }
    TfrmMessage* frmMessage() const { return frmMessage_; }

    MainWindowController& Controller() { return controller_; }
    bool Busy() const { return controller_.Busy(); }
    std::int32_t WindowHandle() const { return handle_; }
    // The whole status text; the status line shows what fits of it and the tooltip all of it.
    QString StatusText() const;
    // A port arrived or went.
    void RefreshPorts() { controller_.PortsChanged(); }

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
    void SetHourglass(bool on) override;
    void Beep() override;
    bool Active() const override;
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

    // How the window waits before a communication restart: a single-shot timer by default. Tests take over
    // the wait to decide what happens during it.
    using RestartTimer = std::function<void(std::chrono::milliseconds, std::function<void()>)>;
    void SetRestartTimer(RestartTimer timer) { restartTimer_ = std::move(timer); }

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void ConnectControls();
    void DockReportWindow();
    QWidget* Widget(Control control) const;
    QAction* MenuEntry(Control control) const;

    OperatorDialogs& dialogs_;
    MainWindowWidgets w_;
    std::int32_t handle_ = 0;
    RestartTimer restartTimer_;
    std::map<Timer, QTimer*> timers_;
    std::map<Timer, std::function<void()>> expired_;

    TfrmInfo* frmInfo_ = nullptr;
    TfrmProtocol* frmProtocol_ = nullptr;
    TfrmMessage* frmMessage_ = nullptr;

    bool hourglass_ = false;
    bool firstIdleScheduled_ = false;

    // Last: it reaches the widgets above from its start on.
    MainWindowController controller_;
};

}  // namespace vantrel::ui::qt
