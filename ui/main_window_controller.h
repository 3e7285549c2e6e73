// Everything the main window decides, once for every toolkit: start-up from the option flags and the
// command line, the file-mode layout, Update and File with their questions, File version and the firmware
// overview, the first idle moment, the close guard, the port refresh, the caption while a job runs, the
// restart wait, the focus and the job's line in the operator's history. A toolkit's window creates its
// widgets, implements MainWindowView for them and passes every event on to the controller; it decides
// nothing itself. The controller is the WindowOps of the presenter and of JobControl, so the worker's
// notifications reach the same place as the operator's clicks.
//
//   toolkit window (widgets) --events--> MainWindowController --MainWindowView--> widgets
//                                              |  owns JobControl and Presenter
//                                              v
//                                        engine (one worker per job)
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/job_control.h"
#include "app/job_rules.h"
#include "app/port_list.h"
#include "app/time_left.h"
#include "app/window_ops.h"
#include "engine/notify.h"
#include "link/clock.h"

namespace vantrel::ui {

// The main window's controls the controller switches.
enum class Control {
    PortBox,          // cbxPort
    Update,           // btnProg
    File,             // btnFile
    Cancel,           // btnCancel
    Close,            // btnClose
    ReadInfoOnly,     // chkReadInfoOnly
    MenuFirmware,     // menInfoFirmware
    MenuFileVersion,  // menInfoFile
};

// The texts the controller sets.
enum class Text {
    Caption,   // the window's caption, which is also the text of the program's taskbar button
    InfoMenu,  // menInfo
    Status,    // the status line; its tooltip repeats the same text
    TimeLeft,  // the status bar's own part at the right for the time a job still needs; empty: nothing shown
};

// The confirmation boxes' built-in texts, replaced at start-up.
struct DialogTexts {
    std::string caption, yes, no;
};

// The timers the controller runs, each single-shot; starting one that is running starts it anew.
enum class Timer {
    Restart,   // the wait before a communication restart
    TimeLeft,  // the next update of the time-left text
};

// What the taskbar button shows of the job, where the platform offers it.
enum class TaskbarProgress { None, Normal, Error };

// How Update and File share a row: with the File button they split the width of Close between them, File a
// gap to the right of Update; without it Update alone takes Close's width. Widths in the toolkit's pixels.
struct UpdateButtonsGeometry {
    int updateWidth = 0;
    int fileLeft = 0;
    int fileWidth = 0;
};
UpdateButtonsGeometry ArrangeUpdateButtons(bool fileButton, int updateLeft, int closeWidth, int gap);

// The main window's widgets, as the controller sees them. All calls on the window's thread.
class MainWindowView {
public:
    virtual ~MainWindowView() = default;

    virtual void SetEnabled(Control control, bool enabled) = 0;
    virtual void SetVisible(Control control, bool visible) = 0;
    virtual void SetFocus(Control control) = 0;
    virtual void SetText(Text which, const std::string& text) = 0;
    // Only ReadInfoOnly has a state.
    virtual void SetChecked(Control control, bool checked) = 0;
    virtual bool Checked(Control control) const = 0;
    // Places Update and File by ArrangeUpdateButtons; a toolkit that lays out again (another DPI) keeps
    // fileButton.
    virtual void LayOutUpdateButtons(bool fileButton) = 0;
    virtual void ReplaceDialogTexts(const DialogTexts& texts) = 0;

    // The port box: its text is the port of the next job; the items are the ports found. selectFirst puts
    // the first item's name in the text (start-up); otherwise the text stays as the operator left it.
    virtual std::string PortText() const = 0;
    virtual void SetPortItems(const std::vector<std::string>& names, bool selectFirst) = 0;
    // What each item's adapter says of itself (PortIdentityText), in the items' order, to be shown beside
    // the name (a tooltip, a second column) and never as the port's name; an empty text shows nothing. Set
    // after every SetPortItems. A window that has no place for it keeps the default.
    virtual void SetPortItemDescriptions(const std::vector<std::string>& descriptions) { (void)descriptions; }
    // Opens the port box's list (closing it first if open), so that new ports are in view at once.
    virtual void DropDownPortList() = 0;

    virtual void SetProgress(int position) = 0;
    virtual int Progress() const = 0;
    virtual void SetTaskbarProgress(TaskbarProgress state, int position) {
        static_cast<void>(state);
        static_cast<void>(position);
    }
    // The busy cursor over every window of the program, or the default one.
    virtual void SetHourglass(bool on) = 0;
    virtual void Beep() = 0;
    // Whether the operator works with the program right now (one of its windows is active).
    virtual bool Active() const = 0;
    // Asks the platform to draw the operator's attention to the window (a flashing taskbar button).
    virtual void RequestAttention() {}

    // The report window.
    virtual void AddReport(const std::string& text) = 0;
    virtual void ClearReport() = 0;
    virtual void SetReportVisible(bool visible) = 0;

    // Modal windows; each returns once the operator closed it.
    virtual void ShowMessage(const std::string& text) = 0;
    // The firmware overview with these rows (app::OverviewRows).
    virtual void ShowOverview(const std::vector<app::OverviewRow>& rows) = 0;
    // A Yes/No question (two lines, CR LF between them); true only for Yes. Escape and closing the box
    // answer No.
    virtual bool AskYesNo(const std::string& question) = 0;
    // The open-file dialog without a filter, starting at initialPath; nothing when the operator picked none.
    virtual std::optional<std::filesystem::path> ChooseFile(const std::filesystem::path& initialPath) = 0;
    // The full path of the program file, wherever it was started from.
    virtual std::filesystem::path ProgramFile() const = 0;

    virtual void StartTimer(Timer timer, std::chrono::milliseconds delay, std::function<void()> expired) = 0;
    virtual void StopTimer(Timer timer) = 0;

    // The handle under which the window's notification target is registered (engine/notify.h).
    virtual std::int32_t NotificationHandle() const = 0;
};

// The verdict the history records for a job the operator ended by closing the program.
inline constexpr const char* kClosedVerdict = "cancelled by closing";

class MainWindowController final : private app::WindowOps {
public:
    using HistorySink = app::JobControl::SummarySink;

    // history receives every job's summary line (the operator's history by default); clock measures the
    // time left.
    MainWindowController(MainWindowView& view, app::PortSource& ports, HistorySink history = app::AppendToUserHistory,
                         link::Clock& clock = link::CurrentClock());
    MainWindowController(const MainWindowController&) = delete;
    MainWindowController& operator=(const MainWindowController&) = delete;

    // The window's part of start-up, once its controls exist and before the secondary windows do.
    void Start();

    // The operator's events.
    void UpdateClicked();
    void FileClicked();
    void CancelClicked();
    void FirmwareClicked();
    void FileVersionClicked();
    // Close, Exit and the title bar's close: whether the window may close now. While a job runs the
    // operator is asked; on Yes the job is asked to stop and recorded as ended by closing. The program waits
    // for the worker after its message loop (engine::WaitForWorkersToEnd).
    bool CloseRequested();

    // The window's events.
    // Every idle moment of the message loop (or the first one only: the controller acts once).
    void Idle();
    // A serial port arrived or went.
    void PortsChanged();
    // A notification of the worker, arrived on the window's thread.
    void Notify(const engine::Notification& notification);

    bool Busy() const { return jobs_.Busy(); }
    // The whole status text, as last set.
    const std::string& StatusText() const { return statusText_; }
    const std::filesystem::path& InitialDirectory() const { return initialDirectory_; }

private:
    // WindowOps: what the presenter and JobControl do to the window.
    void AddReport(const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    void ShowInfoMessage(const std::string& text) override;
    void ShowBusy(bool busy) override;
    void SetProgressPosition(int position) override;
    int ProgressPosition() const override;
    void SetApplicationTitle(const std::string& title) override;
    void Beep() override;
    void ScheduleRestart(std::chrono::milliseconds delay, std::function<void()> restart) override;
    void JobEnded(int status) override;

    void ApplyFileModeLayout();
    // Fills the port box from one look at the system's ports: names and their adapters' texts together.
    void ShowPorts(bool selectFirst);
    // Clears the report, reads the image source and starts a job on the port in the port box with the mode
    // the box shows; nothing starts (the operator told why) when the image file cannot be read.
    void StartNewJob(const std::filesystem::path& fileName);
    void ShowTimeLeft();

    MainWindowView& view_;
    app::PortSource& ports_;
    app::JobControl jobs_;
    app::TimeLeft timeLeft_;
    // The image file whose header the overview shows first: the last File job's or File version's.
    std::optional<firmware::TBl3FileHeader> overviewFile_;
    std::string statusText_;
    std::filesystem::path initialDirectory_;
    bool fileButtons_ = false;
    bool shownBusy_ = false;
    bool firstIdleDone_ = false;
    bool closed_ = false;
};

}  // namespace vantrel::ui
