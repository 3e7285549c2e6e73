// How every front end starts, restarts and cancels a job, toolkit-free. A front end implements WindowOps
// for its widgets and owns one JobControl beside its Presenter:
//
//   JobControl jobs{window};                 // console: JobControl jobs{window, maxRestarts}
//   Presenter presenter{window, jobs};
//   Update / File button:  PrepareImageSource(...), then jobs.StartNew(port, EarlierCancel::Forget)
//   Cancel button, close guard:  jobs.Cancel()
//   close guard, menu commands:  jobs.Busy()
//   end of start-up:  jobs.SetIdle()
//
// The presenter restarts jobs (Restart) and ends them (SetIdle) as the worker's notifications demand.
//
// The cancel request (link::CancelRequested) is set by the operator and cleared in one place only: a new
// job a window's operator starts, because a Cancel pressed during the previous job belongs to that job.
// Restarts keep it, so a Cancel given while a transfer was failing stops the job that would have
// followed. A worker that starts with the request already set ends with feCancelled before it opens the
// port, so the operator sees the usual "Process cancelled!" verdict and the logger is not touched.
#pragma once

#include <optional>
#include <string>

#include "engine/tcmd.h"
#include "ui/window_ops.h"

namespace vantrel::ui {

// Whether a cancel request given before a new job stops it: a window's Cancel belonged to the previous
// job (Forget); the console's signal, given before its one job started, is meant for that job (Keep).
enum class EarlierCancel { Forget, Keep };

class JobControl {
public:
    // maxRestarts bounds the automatic restarts of one job (nullopt: as many as the worker asks for).
    explicit JobControl(WindowOps& window, std::optional<int> maxRestarts = std::nullopt)
        : window_(window), maxRestarts_(maxRestarts) {}

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

    bool Busy() const { return busy_; }
    int Restarts() const { return restarts_; }

private:
    void StartJob(engine::TCmd cmd);

    WindowOps& window_;
    std::optional<int> maxRestarts_;
    int restarts_ = 0;
    std::string port_;
    bool busy_ = false;
};

}  // namespace vantrel::ui
