// The worker: one job is one run of one self-deleting worker thread. It opens the port, sends the two
// zero frames, runs the device procedure, closes the port and posts exactly one final notification.
// Every failure inside the run is an EQel caught once, in Execute.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/tcmd.h"
#include "link/comm_link.h"

namespace vantrel::engine {

class TCommThread : public link::TCommLink {
public:
    TCommThread(std::int32_t hWindow, TCmd cmd, std::string sPort);
    ~TCommThread() override;

    // Starts the run on a new thread; the object deletes itself when the run ends, so the caller must not
    // touch it afterwards. If no thread can be made, throws and the caller still owns the object.
    void Start();

    // The run, on the worker thread.
    void Execute();

    // The device procedure; empty here, filled by device workers.
    virtual void ExecuteUpdate();
    // Runs the job: ExecuteUpdate for every command.
    virtual void ExecuteCommand();

    // Posts ncProgress when position/total, as a percentage 0 to 99, differs from the last one posted; the
    // notification carries position and total beside the percentage.
    void SetProgress(std::int32_t position, std::int32_t total);
    void ResetProgress() { FnProgres = 0; }

    // Posts a notification to this job's window.
    void Notify(std::uint32_t code, std::int32_t value) const;

    TCmd FCmd;
    std::int32_t FhWindow;
    std::string FsPort;
    std::int32_t FnProgres = 0;
};

// How the window creates workers without knowing the device: a function that creates and starts one.
using TCommThreadClass = TCommThread* (*)(std::int32_t hWindow, TCmd cmd, const std::string& sPort);

template <class Worker>
TCommThread* CreateCommThread(std::int32_t hWindow, TCmd cmd, const std::string& sPort) {
    auto worker = std::make_unique<Worker>(hWindow, cmd, sPort);
    worker->Start();
    return worker.release();
}

// Set at start-up to the device worker; the base class until then.
extern TCommThreadClass CommThreadClass;

// Whether the running job has sent the request that starts the new firmware: from then on the bootloader
// is gone, and a job that ends without its verification still leaves the new firmware running. Cleared by
// the front end before each worker it starts; set by the worker, before its final notification.
extern std::atomic<bool> ApplicationStartSent;

// Blocks until no worker thread is left running (the end of the program, and tests).
void WaitForWorkersToEnd();

}  // namespace vantrel::engine
