#include "engine/comm_thread.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "engine/engine_times.h"
#include "engine/notify.h"
#include "link/clock.h"
#include "link/command_frame.h"
#include "link/failures.h"
#include "link/link_times.h"

namespace vantrel::engine {

using link::EQel;

TCommThreadClass CommThreadClass = &CreateCommThread<TCommThread>;

namespace {

struct WorkerCount {
    std::mutex mutex;
    std::condition_variable changed;
    int running = 0;
};

// Never destroyed: a worker thread that has just reported its end may still be leaving notify_all when
// the program, no longer waiting, runs its exit handlers.
WorkerCount& Workers() {
    static WorkerCount* workers = new WorkerCount;
    return *workers;
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

TCommThread::TCommThread(std::int32_t hWindow, TCmd cmd, std::string sPort)
    : FCmd(cmd), FhWindow(hWindow), FsPort(std::move(sPort)) {}

TCommThread::~TCommThread() = default;

void TCommThread::Start() {
    WorkerCount& workers = Workers();
    {
        std::lock_guard lock(workers.mutex);
        ++workers.running;
    }
    std::thread([this] {
        Execute();
        delete this;
        WorkerCount& counted = Workers();
        std::lock_guard lock(counted.mutex);
        --counted.running;
        counted.changed.notify_all();
    }).detach();
}

void TCommThread::Execute() {
    const auto cmd = static_cast<std::int32_t>(FCmd);
    try {
        {
            FhPort = link::OpenCommPort(FsPort, link::kLineBaudRate);
            if (FhPort == link::kInvalidPortHandle) throw EQel(link::feNoPort);
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
    Notify(ncProgress, FnProgres);
}

void TCommThread::Notify(std::uint32_t code, std::int32_t value) const { PostNotification(FhWindow, code, value); }

void WaitForWorkersToEnd() {
    WorkerCount& workers = Workers();
    std::unique_lock lock(workers.mutex);
    workers.changed.wait(lock, [&] { return workers.running == 0; });
}

}  // namespace vantrel::engine
