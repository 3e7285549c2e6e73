// The console's side of the presenter: report lines and verdicts on stdout (or JSON Lines), a live
// status line with a progress bar, the elapsed time and the time left on a terminal's stderr, and the
// report in the --log file.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

#include "app/presenter.h"
#include "app/time_left.h"
#include "cli/job_log.h"
#include "cli/json_events.h"
#include "cli/port_system.h"
#include "engine/notify.h"

namespace vantrel::cli {

class ChildRunner;

struct ConsoleIo {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    bool inIsTerminal = false;
    bool errIsTerminal = false;
    // Both on the same screen as far as the program can tell: stdout a terminal too.
    bool outIsTerminal = false;
    // False for TERM=dumb: the status line is redrawn with carriage returns and blanks alone.
    bool errTakesEscapes = true;
    // Where the console looks up the USB converter behind a port (tests give it a made-up tree).
    std::string sysfsRoot = kSystemSysfsRoot;
    // What starts the children when several loggers are updated at once (tests give it a fake); null: the
    // system's.
    ChildRunner* children = nullptr;
    // The terminal's width in columns on stderr, asked at every redraw of the status line; 0 or no
    // function: unknown, the line is not cut.
    std::function<int()> errColumns = {};
    // Where the window leaves what a second signal should still say (console_platform.h SetLastWords);
    // null in tests, which send no signals.
    void (*lastWords)(const std::string& jsonBeforeStatus, const std::string& jsonAfterStatus,
                      const std::string& errLine) = nullptr;
};

class ConsoleWindow final : public app::WindowOps {
public:
    // json: nullptr for the plain report; log: nullptr without --log.
    // port: the job's, as its texts name it.
    ConsoleWindow(ConsoleIo io, JsonLines* json, JobLog* log, std::string port);

    void AddReport(const std::string& text) override;
    void AddProgressReport(const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    void ShowInfoMessage(const std::string& text) override;
    // The verdict alone: scripts read the message as the verdict, and the sentence after it follows as a
    // report line.
    void ShowVerdictMessage(const std::string& verdict, const std::string&) override { ShowInfoMessage(verdict); }
    // A console has no controls to switch between the job states.
    void ShowBusy(bool) override {}
    void SetProgressPosition(int position) override;
    int ProgressPosition() const override { return progress_; }
    // A console has no taskbar entry; the live status line shows the progress instead.
    void SetApplicationTitle(const std::string&) override {}
    void Beep() override {}
    void ScheduleRestart(std::chrono::milliseconds delay, std::function<void()> restart) override;

    // The operator's job starts: the elapsed time counts from here, restarts included.
    void JobStarted();
    // A notification as received, before it is presented: the time left learns from it, and JSON Lines
    // show it (and, for progress, the records and the time left).
    void EmitNotification(const engine::Notification& notification);
    // Redraws the status line, whose times move on without notifications.
    void Tick();
    // Ends the live status line so that other stderr output starts on a line of its own.
    void EndStatusLine();

private:
    void Emit(const char* event, const std::string& text);
    void DrawStatusLine();
    // What takes the cursor to the start of the status line drawn last and clears it, at this width.
    std::string ClearStatusRows(int columns) const;
    // What a second signal says, from the job's latest report line (ConsoleIo::lastWords).
    void PrepareLastWords(const std::string& lastReport);
    // The status line is on screen: the progress bar shows what the report's progress lines would.
    bool BarOnSameScreen() const { return json_ == nullptr && io_.errIsTerminal && io_.outIsTerminal; }

    ConsoleIo io_;
    JsonLines* json_;
    JobLog* log_;
    std::string port_;
    std::string status_;
    int progress_ = 0;
    bool statusLineShown_ = false;
    std::size_t statusLineWidth_ = 0;
    std::size_t statusLineColumns_ = 0;  // of the status line on screen
    app::TimeLeft timeLeft_;
};

}  // namespace vantrel::cli
