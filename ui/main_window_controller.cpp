#include "ui/main_window_controller.h"

#include <cstdio>
#include <exception>
#include <system_error>

#include "app/job_marker.h"
#include "app/job_rules.h"
#include "app/options.h"
#include "engine/option_flags.h"
#include "firmware/image_file.h"
#include "link/failures.h"

namespace vantrel::ui {

namespace {

constexpr std::chrono::seconds kTimeLeftInterval{1};

}  // namespace

UpdateButtonsGeometry ArrangeUpdateButtons(bool fileButton, int updateLeft, int closeWidth, int gap) {
    if (!fileButton) return {closeWidth, 0, 0};
    const int half = closeWidth / 2;
    return {half, updateLeft + half + gap, half};
}

MainWindowController::MainWindowController(MainWindowView& view, app::PortSource& ports, HistorySink history,
                                           link::Clock& clock)
    : view_(view), ports_(ports), jobs_(*this, std::nullopt, std::move(history)), timeLeft_(clock) {}

void MainWindowController::Start() {
    view_.SetText(Text::Caption, app::kApplicationTitle);
    view_.SetText(Text::InfoMenu, app::kMenuInfoCaption);
    view_.ReplaceDialogTexts({app::kConfirmCaption, app::kYesText, app::kNoText});
    initialDirectory_ = view_.ProgramFile();
    const bool internal = app::InternalMode();
    view_.SetChecked(Control::ReadInfoOnly, false);
    view_.SetVisible(Control::ReadInfoOnly, engine::ReadInfoOnlySupported && internal);
    app::ReadCommandLineOptions(internal);
    ApplyFileModeLayout();
    ShowPorts(true);
    SetStatusText(engine::ClearsMeasurements ? "F" : "");
    shownBusy_ = true;  // so that the idle state is set whole, focus included
    jobs_.SetIdle();
}

void MainWindowController::ApplyFileModeLayout() {
    fileButtons_ = engine::FileMode == engine::kFileModeImageFiles;
    view_.SetVisible(Control::MenuFileVersion, fileButtons_);
    view_.SetVisible(Control::File, fileButtons_);
    view_.LayOutUpdateButtons(fileButtons_);
}

void MainWindowController::StartNewJob(const std::filesystem::path& fileName) {
    view_.ClearReport();
    std::shared_ptr<const firmware::FileImage> image;
    try {
        image = app::ReadImageSource(fileName);
    } catch (const std::exception& e) {
        // The reader's message names the file and what is wrong with it. Nothing starts: the operator asked
        // for that file, not for the built-in images.
        app::Announce(*this, app::UnreadableImageFileText(e));
        return;
    }
    overviewFile_.reset();
    if (image) overviewFile_ = image->header;
    timeLeft_.JobStarted();
    jobs_.StartNew(app::MakeJobRequest(view_.PortText(), std::move(image), view_.Checked(Control::ReadInfoOnly),
                                       view_.NotificationHandle()),
                   app::EarlierCancel::Forget);
}

void MainWindowController::UpdateClicked() {
    if (Busy()) return;
    if (const std::optional<std::string> question = app::UpdateConfirmation()) {
        if (!view_.AskYesNo(*question)) return;
    }
    StartNewJob({});
}

void MainWindowController::FileClicked() {
    if (Busy()) return;
    const std::optional<std::filesystem::path> file = view_.ChooseFile(initialDirectory_);
    if (!file || file->empty()) return;
    StartNewJob(*file);
}

void MainWindowController::CancelClicked() {
    jobs_.Cancel();
    // The window stays busy until the verdict; Cancel keeps the keys.
    if (Busy()) view_.SetFocus(Control::Cancel);
}

void MainWindowController::FirmwareClicked() {
    // A job reads only its own request, so the overview may open while one runs.
    view_.ShowOverview(app::OverviewRows(overviewFile_));
}

void MainWindowController::FileVersionClicked() {
    if (Busy()) return;
    const std::optional<std::filesystem::path> file = view_.ChooseFile(initialDirectory_);
    if (!file || file->empty()) return;
    std::error_code error;
    if (!std::filesystem::exists(*file, error)) return;
    try {
        overviewFile_ = firmware::LoadFileImageHeader(*file);
    } catch (const std::exception& e) {
        // The overview then shows no file row rather than the header of a file read before.
        overviewFile_.reset();
        ShowInfoMessage(app::UnreadableImageFileText(e));
        return;
    }
    FirmwareClicked();
}

bool MainWindowController::CloseRequested() {
    if (Busy()) {
        if (!view_.AskYesNo(app::kCloseWhileBusyQuestion)) return false;
        // The worker stops at its next transfer attempt. What it did so far is recorded now: its own end
        // comes when nobody is left to see it.
        closed_ = true;
        jobs_.Cancel();
        // A restart that waits would start a new worker, and open the port again, after the operator left.
        view_.StopTimer(Timer::Restart);
        view_.StopTimer(Timer::TimeLeft);
        jobs_.Abandon(link::feCancelled, kClosedVerdict);
    }
    closed_ = true;
    return true;
}

void MainWindowController::Idle() {
    if (firstIdleDone_) return;
    firstIdleDone_ = true;
    // The one place that decides whether the report is seen: operators never see it.
    view_.SetReportVisible(engine::FileMode != engine::kFileModeOperator);
}

void MainWindowController::ShowPorts(bool selectFirst) {
    std::vector<std::string> names;
    std::vector<std::string> descriptions;
    for (const app::PortEntry& port : LoggerPortEntries(ports_.Enumerate())) {
        names.push_back(port.name);
        descriptions.push_back(PortIdentityText(port.identity));
    }
    view_.SetPortItems(names, selectFirst);
    view_.SetPortItemDescriptions(descriptions);
}

void MainWindowController::PortsChanged() {
    ShowPorts(false);
    // The list is opened only for an operator working with the program, and never while a job runs.
    if (view_.Active() && !Busy()) view_.DropDownPortList();
}

void MainWindowController::Notify(const engine::Notification& notification) {
    // Once the operator closed the program, the end of a cancelled job has nobody left to tell; a verdict
    // box now would only hold up the program's end.
    if (closed_) return;
    timeLeft_.Note(notification);
    jobs_.Handle(notification);
}

void MainWindowController::AddReport(const std::string& text) { view_.AddReport(text); }

void MainWindowController::SetStatusText(const std::string& text) {
    statusText_ = text;
    view_.SetText(Text::Status, text);
}

// A verdict on screen is held like a running job until the operator dismisses it, so that an installer
// does not close the window before it has been read.
void MainWindowController::ShowInfoMessage(const std::string& text) {
    app::MarkJobRunning(true);
    view_.ShowMessage(text);
    if (!jobs_.Busy()) app::MarkJobRunning(false);
}

void MainWindowController::ShowBusy(bool busy) {
    view_.SetEnabled(Control::Update, !busy);
    view_.SetVisible(Control::Close, !busy);
    view_.SetVisible(Control::Cancel, busy);
    // A job's port and mode are fixed when it starts, and its restarts keep them: the boxes that choose
    // them wait for the next job.
    view_.SetEnabled(Control::PortBox, !busy);
    view_.SetEnabled(Control::ReadInfoOnly, !busy);
    view_.SetEnabled(Control::File, !busy);
    view_.SetEnabled(Control::MenuFileVersion, !busy);
    // A restart starts a job while busy: the rest belongs to the change of state only.
    if (busy == shownBusy_) return;
    shownBusy_ = busy;
    view_.SetHourglass(busy);
    // The keys go on working: Cancel while busy, Update once idle.
    view_.SetFocus(busy ? Control::Cancel : Control::Update);
    if (busy) {
        view_.SetTaskbarProgress(TaskbarProgress::Normal, 0);
        ShowTimeLeft();
    } else {
        view_.StopTimer(Timer::TimeLeft);
        view_.SetText(Text::TimeLeft, "");
    }
}

void MainWindowController::ShowTimeLeft() {
    if (const std::optional<app::TimeLeft::Estimate> left = timeLeft_.Left()) {
        view_.SetText(Text::TimeLeft, LeftText(*left));
    } else {
        view_.SetText(Text::TimeLeft, "");
    }
    view_.StartTimer(Timer::TimeLeft, kTimeLeftInterval, [this] { ShowTimeLeft(); });
}

void MainWindowController::SetProgressPosition(int position) {
    view_.SetProgress(position);
    if (shownBusy_) view_.SetTaskbarProgress(TaskbarProgress::Normal, position);
}

int MainWindowController::ProgressPosition() const { return view_.Progress(); }

void MainWindowController::SetApplicationTitle(const std::string& title) { view_.SetText(Text::Caption, title); }

void MainWindowController::Beep() { view_.Beep(); }

void MainWindowController::ScheduleRestart(std::chrono::milliseconds delay, std::function<void()> restart) {
    view_.StartTimer(Timer::Restart, delay, std::move(restart));
}

void MainWindowController::JobEnded(int status) {
    view_.SetTaskbarProgress(status == 0 ? TaskbarProgress::None : TaskbarProgress::Error, view_.Progress());
    if (!closed_ && !view_.Active()) view_.RequestAttention();
}

}  // namespace vantrel::ui
