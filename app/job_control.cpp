#include "app/job_control.h"

#include "app/job_marker.h"
#include "app/job_rules.h"
#include "engine/comm_thread.h"
#include "engine/engine_times.h"
#include "firmware/catalogue.h"
#include "link/cancel.h"
#include "link/failures.h"
#include "link/serial.h"

namespace vantrel::app {

void JobControl::StartNew(engine::JobRequest request, EarlierCancel earlier) {
    request_ = std::move(request);
    restarts_ = 0;
    timeLimitReached_ = false;
    programmingBegan_ = false;
    verdict_.clear();
    detail_.clear();
    record_.Begin(request_->FsPort, std::chrono::system_clock::now());
    if (earlier == EarlierCancel::Forget) link::CancelRequested.store(false, std::memory_order_relaxed);
    StartWorker(engine::TCmd::tCMD0);
}

bool JobControl::MayRestart() {
    if (maxRestarts_ && restarts_ >= *maxRestarts_) return false;
    ++restarts_;
    return true;
}

void JobControl::StartWorker(engine::TCmd cmd) {
    presenter_.ShowStart(request_->FsPort);
    window_.ShowBusy(true);
    busy_ = true;
    MarkJobRunning(true);
    // Each worker tells its own; a restart's choice stands as the last one made until it chooses again.
    const std::int32_t chosen = restarts_ == 0 ? firmware::kNoImageSelected : SelectedImage();
    outcome_ = std::make_shared<engine::JobOutcome>();
    outcome_->SelectedImage.store(chosen);
    engine::CommThreadClass(*request_, cmd, outcome_);
}

bool JobControl::ApplicationStarted() const { return outcome_ && outcome_->ApplicationStartSent.load(); }

std::int32_t JobControl::SelectedImage() const {
    return outcome_ ? outcome_->SelectedImage.load() : firmware::kNoImageSelected;
}

JobImages JobControl::Images() const { return {request_ ? request_->FileImage.get() : nullptr, SelectedImage()}; }

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

std::optional<int> JobControl::Handle(const engine::Notification& notification) {
    detail_.clear();
    record_.Note(notification.code, notification.value);
    if (notification.code == engine::ncUpdateStart) programmingBegan_ = true;
    return Settle(Decide(notification));
}

void JobControl::Abandon(int status, const std::string& verdict) {
    // Ended by the operator leaving: the record says what a cancel at this point says.
    detail_ = DetailOfEnd(status);
    Settle(Ending{status, detail_.empty() ? verdict : verdict + "; " + detail_, {}});
}

std::string JobControl::DetailOfEnd(std::int32_t failure) {
    std::string clauses;
    const auto add = [&clauses](const std::string& clause) {
        if (!clause.empty()) clauses += (clauses.empty() ? "" : "; ") + clause;
    };
    if (failure == link::feNoPort && outcome_) add(link::DescribeOpenFailure(outcome_->OpenFailure));
    if (ApplicationStarted()) {
        // A cancel after the start request stops only the check of the new firmware: the operator must not
        // take the logger for one left in its bootloader, and the record names no class.
        if (failure == link::feCancelled) {
            add(Presenter::StartRequestedClause());
            record_.ForgetLoggerAfter();
        }
    } else if (programmingBegan_) {
        add(Presenter::LeftInBootloaderClause());
    }
    return clauses;
}

std::optional<JobControl::Ending> JobControl::Decide(const engine::Notification& notification) {
    switch (notification.code) {
        case engine::ncDone: return Done();
        case engine::ncRetryComm: return CommunicationRetry(notification.value);
        case engine::ncFailure: return Failure(notification.value);
        default: presenter_.Show(notification.code, notification.value, Images()); return std::nullopt;
    }
}

std::optional<JobControl::Ending> JobControl::Done() {
    presenter_.ShowUpdateDone();
    SetIdle();
    verdict_ = Presenter::UpdateDoneText(firmware::GetFirmwareHeader(SelectedImage(), Images().file));
    return Ending{0, verdict_, [this] { presenter_.ShowVerdict(verdict_); }};
}

std::optional<JobControl::Ending> JobControl::CommunicationRetry(std::int32_t value) {
    presenter_.ShowCommunicationRestart();
    if (!MayRestart()) {
        SetIdle();
        verdict_ = Presenter::CommunicationRestartText();
        detail_ = DetailOfEnd(link::feNoAnswer);
        const std::string sentence = Presenter::Sentence(detail_);
        return Ending{link::feNoAnswer, sentence.empty() ? verdict_ : verdict_ + " " + sentence,
                      [this, sentence] { presenter_.ShowDetail(sentence); }};
    }
    // The cancel request is read when the restarted job starts, after the wait, so a Cancel given
    // meanwhile stops it.
    const auto cmd = static_cast<engine::TCmd>(value & 0xFF);
    window_.ScheduleRestart(engine::kCommunicationRestartWait, [this, cmd] { StartWorker(cmd); });
    return std::nullopt;
}

std::optional<JobControl::Ending> JobControl::Failure(std::int32_t failure) {
    SetIdle();
    presenter_.ShowFailureBeep();
    verdict_ = Presenter::FailureText(failure, request_ ? request_->FsPort : std::string());
    if (failure == link::feProgramming && MayRestart()) {
        presenter_.ShowFailure(failure, verdict_, {});
        StartWorker(engine::TCmd::tCMD0);
        return std::nullopt;
    }
    const int status = failure == link::feCancelled && TimeLimitReached() ? kExitTimedOut
                                                                          : ExitStatusOfFailure(failure);
    detail_ = DetailOfEnd(failure);
    const std::string sentence = Presenter::Sentence(detail_);
    return Ending{status, sentence.empty() ? verdict_ : verdict_ + " " + sentence,
                  [this, failure, sentence] { presenter_.ShowFailure(failure, verdict_, sentence); }};
}

std::optional<int> JobControl::Settle(std::optional<Ending> ending) {
    if (!ending) return std::nullopt;
    // The record is written when the job ends, not when the operator has read the verdict; a job already
    // ended (by the operator closing the program) is not ended again by its worker's last notification.
    if (record_.Running()) {
        if (const std::int32_t image = SelectedImage(); image != firmware::kNoImageSelected) {
            record_.NoteImage(firmware::GetFirmwareHeader(image, Images().file));
        }
        const std::string line = record_.Finish(ending->status, ending->recorded, restarts_,
                                                std::chrono::system_clock::now());
        record_.Clear();
        if (summarySink_) summarySink_(line);
        window_.JobEnded(ending->status);
    }
    if (ending->show) ending->show();
    return ending->status;
}

}  // namespace vantrel::app
