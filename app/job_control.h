// How every front end starts, restarts and cancels a job, toolkit-free. The desktop windows get theirs
// from MainWindowController (ui/main_window_controller.h), which owns one beside its Presenter; the
// console owns them itself:
//
//   JobControl jobs{window, maxRestarts, summarySink};   Presenter presenter{window, jobs};
//   a new job:  the image source chosen (SelectImageSource), then jobs.StartNew(port, EarlierCancel::...)
//   Cancel:  jobs.Cancel()          end of start-up:  jobs.SetIdle()
//
// The presenter restarts jobs (Restart) and ends them (SetIdle) as the worker's notifications demand.
//
// The cancel request (link::CancelRequested) is set by the operator and cleared in one place only: a new
// job a window's operator starts, because a Cancel pressed during the previous job belongs to that job.
// Restarts keep it, so a Cancel given while a transfer was failing stops the job that would have
// followed. A worker that starts with the request already set ends with feCancelled before it opens the
// port, so the operator sees the usual "Process cancelled!" verdict and the logger is not touched.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/exit_status.h"
#include "app/job_record.h"
#include "app/window_ops.h"
#include "engine/tcmd.h"

namespace vantrel::app {

// Whether a cancel request given before a new job stops it: a window's Cancel belonged to the previous
// job (Forget); the console's signal, given before its one job started, is meant for that job (Keep).
enum class EarlierCancel { Forget, Keep };

class JobControl {
public:
    using SummarySink = std::function<void(const std::string& line)>;

    // maxRestarts bounds the automatic restarts of one job (nullopt: as many as the worker asks for).
    // summarySink receives the summary line (app/job_record.h) of every job the operator started, once the
    // job has ended for good.
    explicit JobControl(WindowOps& window, std::optional<int> maxRestarts = std::nullopt, SummarySink summarySink = {})
        : window_(window), maxRestarts_(maxRestarts), summarySink_(std::move(summarySink)) {}

    // A job the operator asked for, on port (the name captured when the image source was prepared): busy
    // state, then one worker for tCMD0. The restart bound counts from here.
    void StartNew(std::string port, EarlierCancel earlier);
    // The same job again on the same port, the cancel request kept; busy state continues.
    void Restart(engine::TCmd cmd);
    // Whether one more automatic restart is allowed, counting it if so.
    bool MayRestart();
    // Back to idle: the controls, the application title, no job running.
    void SetIdle();
    // Asks the running job to stop at its next transfer; the window stays busy until its verdict.
    void Cancel();
    // The same, because the job ran out of the time it was given: its cancelled verdict ends it with
    // kExitTimedOut instead.
    void CancelForTimeLimit();
    bool TimeLimitReached() const { return timeLimitReached_; }

    bool Busy() const { return busy_; }
    // Whether the running job's worker has started the new firmware (engine::ApplicationStartSent).
    bool ApplicationStarted() const;
    int Restarts() const { return restarts_; }

    // The presenter's part: what the job's notifications tell, and the job's end with its exit status. The
    // summary line is handed on once a job, at its end; a job already ended (by the operator closing the
    // program) is not ended again by its worker's last notification.
    void Note(std::uint32_t code, std::int32_t value) { record_.Note(code, value); }
    void Finished(int status, const std::string& verdict);
    // The job started the new firmware and ends unverified: the logger's state after it is not known.
    void ForgetLoggerAfter() { record_.ForgetLoggerAfter(); }

private:
    void StartJob(engine::TCmd cmd);

    WindowOps& window_;
    std::optional<int> maxRestarts_;
    int restarts_ = 0;
    std::string port_;
    bool busy_ = false;
    bool timeLimitReached_ = false;
    JobRecord record_;
    SummarySink summarySink_;
};

}  // namespace vantrel::app
