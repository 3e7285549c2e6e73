#include "engine/comm_thread.h"

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/engine_times.h"
#include "engine/notify.h"
#include "engine/wakeup.h"
#include "link/cancel.h"
#include "link/clock.h"
#include "link/command_frame.h"
#include "link/failures.h"
#include "link/link_times.h"

namespace vantrel::engine {

using link::EQel;

namespace {

// The worker threads are joined, never detached: the Windows build's threads layer (winpthreads) loses
// or corrupts detached threads now and then (seen under Wine: a thread detached before it ran never ran;
// one detached after it started spun for ever in its thread-local storage), and a job that never ends
// leaves its window waiting for ever. A thread that has ended is joined by the next Start or by
// WaitForWorkersToEnd.
struct WorkerThreads {
    std::mutex mutex;
    Wakeup changed;
    std::vector<std::thread> threads;  // running
    std::vector<std::thread> ended;    // done with their job, not yet joined
};

// Never destroyed: a worker thread that has just reported its end may still be leaving Notify when
// the program, no longer waiting, runs its exit handlers.
WorkerThreads& Workers() {
    static WorkerThreads* workers = new WorkerThreads;
    return *workers;
}

void JoinEndedWorkers() {
    WorkerThreads& workers = Workers();
    std::vector<std::thread> ended;
    {
        std::lock_guard lock(workers.mutex);
        ended.swap(workers.ended);
    }
    for (std::thread& thread : ended) thread.join();
}

// Closes the port when the job's block is left, however it is left, so the port is free before the
// final notification goes out.
class PortCloser {
public:
    explicit PortCloser(link::TCommLink& link) : link_(link) {}
    ~PortCloser() { link_.CloseCommPort(); }
    PortCloser(const PortCloser&) = delete;
    PortCloser& operator=(const PortCloser&) = delete;

private:
    link::TCommLink& link_;
};

}  // namespace

TCommThread::TCommThread(const JobRequest& request, TCmd cmd, std::shared_ptr<JobOutcome> outcome)
    : FCmd(cmd),
      FhWindow(request.FhWindow),
      FsPort(request.FsPort),
      FileImage(request.FileImage),
      ReadInfoOnly(request.ReadInfoOnly),
      Checks(request.Checks),
      Outcome(outcome ? std::move(outcome) : std::make_shared<JobOutcome>()) {}

TCommThread::~TCommThread() = default;

void TCommThread::Start() {
    JoinEndedWorkers();
    WorkerThreads& workers = Workers();
    // Made under the lock, so the thread is in `threads` before it can look for itself there.
    std::lock_guard lock(workers.mutex);
    workers.threads.emplace_back([this] {
        Execute();
        delete this;
        WorkerThreads& all = Workers();
        std::lock_guard held(all.mutex);
        const auto self = std::find_if(all.threads.begin(), all.threads.end(),
                                       [](const std::thread& t) { return t.get_id() == std::this_thread::get_id(); });
        all.ended.push_back(std::move(*self));
        all.threads.erase(self);
        all.changed.Notify();
    });
}

void TCommThread::Execute() {
    const auto cmd = static_cast<std::int32_t>(FCmd);
    try {
        {
            // A cancel given before the job began (a signal to the console, a Cancel while a restart was
            // due) ends it here, before the port is opened: the logger is not touched at all.
            if (link::CancelRequested.load(std::memory_order_relaxed)) throw EQel(link::feCancelled);
            FhPort = link::OpenCommPort(FsPort, link::kLineBaudRate);
            if (FhPort == link::kInvalidPortHandle) {
                Outcome->OpenFailure = link::LastOpenFailure();
                throw EQel(link::feNoPort);
            }
            PortCloser closer(*this);
            ResetProgress();
            SendCommand(false, link::cmdZeroFrame, 0, 0, 0, 0, 0, 0);
            link::Sleep(kZeroFramePause);
            SendCommand(false, link::cmdZeroFrame, 0, 0, 0, 0, 0, 0);
            link::Sleep(kZeroFramePause);
            ExecuteCommand();
        }
        Notify(ncDone, cmd);
    } catch (const EQel& e) {
        if (e.iException == link::feNoAnswer) {
            Notify(ncRetryComm, cmd);
        } else {
            Notify(ncFailure, e.iException);
        }
    } catch (...) {
        Notify(ncFailure, 0);
    }
}

void TCommThread::ExecuteUpdate() {}

void TCommThread::ExecuteCommand() { ExecuteUpdate(); }

void TCommThread::SetProgress(std::int32_t position, std::int32_t total) {
    // Computed in 64 bits: position * 99 overflows 32 bits for positions above about 21 million.
    std::int64_t percent = total == 0 ? 0 : static_cast<std::int64_t>(position) * 99 / total;
    if (percent < 0) percent = 0;
    if (percent > 99) percent = 99;
    if (percent == FnProgres) return;
    FnProgres = static_cast<std::int32_t>(percent);
    PostNotification(FhWindow, {ncProgress, FnProgres, position, total});
}

void TCommThread::Notify(std::uint32_t code, std::int32_t value) const { PostNotification(FhWindow, code, value); }

void WaitForWorkersToEnd() {
    WorkerThreads& workers = Workers();
    {
        std::unique_lock lock(workers.mutex);
        workers.changed.Wait(lock, [&] { return workers.threads.empty(); });
    }
    JoinEndedWorkers();
}

}  // namespace vantrel::engine
