#include "app/job_control.h"

#include "app/job_marker.h"
#include "app/job_rules.h"
#include "engine/comm_thread.h"
#include "engine/option_flags.h"
#include "link/cancel.h"

namespace vantrel::app {

void JobControl::StartNew(std::string port, EarlierCancel earlier) {
    port_ = std::move(port);
    restarts_ = 0;
    timeLimitReached_ = false;
    record_.Begin(port_, std::chrono::system_clock::now());
    if (earlier == EarlierCancel::Forget) link::CancelRequested.store(false, std::memory_order_relaxed);
    StartJob(engine::TCmd::tCMD0);
}

void JobControl::Restart(engine::TCmd cmd) { StartJob(cmd); }

bool JobControl::MayRestart() {
    if (maxRestarts_ && restarts_ >= *maxRestarts_) return false;
    ++restarts_;
    return true;
}

void JobControl::StartJob(engine::TCmd cmd) {
    const std::string text = StartJobText(window_.PortText());
    window_.AddReport(text);
    window_.SetStatusText(text);
    engine::ReadInfoOnly = window_.ReadInfoOnlyChosen();
    window_.SetProgressPosition(0);
    window_.ShowBusy(true);
    busy_ = true;
    MarkJobRunning(true);
    engine::ApplicationStartSent.store(false);
    engine::CommThreadClass(window_.WindowHandle(), cmd, port_);
}

bool JobControl::ApplicationStarted() const { return engine::ApplicationStartSent.load(); }

void JobControl::SetIdle() {
    window_.ShowBusy(false);
    busy_ = false;
    MarkJobRunning(false);
    window_.SetApplicationTitle(kApplicationTitle);
}

void JobControl::Cancel() { link::CancelRequested.store(true, std::memory_order_relaxed); }

void JobControl::CancelForTimeLimit() {
    timeLimitReached_ = true;
    Cancel();
}

void JobControl::Finished(int status, const std::string& verdict) {
    if (!record_.Running()) return;
    const std::string line = record_.Finish(status, verdict, restarts_, std::chrono::system_clock::now());
    record_.Clear();
    if (summarySink_) summarySink_(line);
    window_.JobEnded(status);
}

}  // namespace vantrel::app
