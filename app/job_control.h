// A job's life, once for every front end, toolkit-free: it starts from one request, goes on, restarts or
// ends as the worker's notifications say, and is cancelled. The desktop windows get theirs from
// MainWindowController (ui/main_window_controller.h); the console owns its own:
//
//   JobControl jobs{window, maxRestarts, summarySink};
//   a new job:  jobs.StartNew(MakeJobRequest(...), EarlierCancel::...)
//   each notification:  if (auto status = jobs.Handle(notification)) ... the job has ended
//   Cancel:  jobs.Cancel()          end of start-up:  jobs.SetIdle()
//
// JobControl decides; the presenter (app/presenter.h) only turns each step into texts.
//
// The cancel request (link::CancelRequested) is set by the operator and cleared in one place only: a new
// job a window's operator starts, because a Cancel pressed during the previous job belongs to that job.
// Restarts keep it, so a Cancel given while a transfer was failing stops the job that would have
// followed. A worker that starts with the request already set ends with feCancelled before it opens the
// port, so the operator sees the usual "Process cancelled!" verdict and the logger is not touched.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/exit_status.h"
#include "app/job_record.h"
#include "app/presenter.h"
#include "app/window_ops.h"
#include "engine/job_request.h"
#include "engine/notify.h"
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
        : window_(window), presenter_(window), maxRestarts_(maxRestarts), summarySink_(std::move(summarySink)) {}

    // A job the operator asked for: busy state, then one worker for tCMD0. Restarts reuse the request; the
    // restart bound counts from here.
    void StartNew(engine::JobRequest request, EarlierCancel earlier);
    // One notification of the job's worker: its texts, and whether the job goes on (nullopt), restarts
    // (nullopt, the restart scheduled) or has ended for good, with its exit status: 0 after a verified
    // update, ExitStatusOfFailure of the verdict, 30 / 44 when the restart bound stopped a communication
    // retry / a programming-error repeat, or kExitTimedOut for a job its time limit cancelled. The job's
    // summary line goes to the sink then.
    std::optional<int> Handle(const engine::Notification& notification);
    // Ends the running job here, before its worker does: the operator closed the program, or the worker
    // stopped reporting. Its worker's last notification is not heeded any more.
    void Abandon(int status, const std::string& verdict);

    // Back to idle: the controls, the application title, no job running.
    void SetIdle();
    // Asks the running job to stop at its next transfer; the window stays busy until its verdict.
    void Cancel();
    // The same, because the job ran out of the time it was given: its cancelled verdict ends it with
    // kExitTimedOut instead.
    void CancelForTimeLimit();
    bool TimeLimitReached() const { return timeLimitReached_; }

    bool Busy() const { return busy_; }
    int Restarts() const { return restarts_; }
    // The request of the job running, or of the one that ended last (null before the first).
    const engine::JobRequest* Request() const { return request_ ? &*request_ : nullptr; }
    // The image the running job's worker chose, once it has (firmware::kNoImageSelected before).
    std::int32_t SelectedImage() const;

    // The text of the verdict of the job that ended last.
    const std::string& Verdict() const { return verdict_; }
    // What the job that ended last leaves that its verdict does not say, as clauses joined by "; " (empty
    // when nothing): why the port would not open, that only the start of the new firmware was requested,
    // that the logger waits in its bootloader for another update. The windows show it as a sentence
    // (Presenter::Sentence) after the verdict.
    const std::string& DetailClauses() const { return detail_; }

private:
    struct Ending {
        int status;
        std::string recorded;  // the verdict as the job's record keeps it
        std::function<void()> show;
    };

    void StartWorker(engine::TCmd cmd);
    // Whether one more automatic restart is allowed, counting it if so.
    bool MayRestart();
    bool ApplicationStarted() const;
    JobImages Images() const;
    std::optional<Ending> Decide(const engine::Notification& notification);
    std::optional<Ending> Done();
    std::optional<Ending> CommunicationRetry(std::int32_t value);
    std::optional<Ending> Failure(std::int32_t failure);
    // The clauses for a job that ends now with this failure code, the record told what they mean for it.
    std::string DetailOfEnd(std::int32_t failure);
    // The one way a job ends: its record and summary line, the front end told, then its verdict shown.
    std::optional<int> Settle(std::optional<Ending> ending);

    WindowOps& window_;
    Presenter presenter_;
    std::optional<int> maxRestarts_;
    int restarts_ = 0;
    std::optional<engine::JobRequest> request_;
    std::shared_ptr<engine::JobOutcome> outcome_;
    bool busy_ = false;
    bool timeLimitReached_ = false;
    // Programming began in one of the job's workers: the logger's application is gone until a job ends
    // verified.
    bool programmingBegan_ = false;
    JobRecord record_;
    SummarySink summarySink_;
    std::string verdict_;
    std::string detail_;
};

}  // namespace vantrel::app
