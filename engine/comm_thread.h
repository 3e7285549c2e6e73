// The worker: one job is one run of one self-deleting worker thread. It opens the port, sends the two
// zero frames, runs the device procedure, closes the port and posts exactly one final notification.
// Every failure inside the run is an EQel caught once, in Execute.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/job_request.h"
#include "engine/tcmd.h"
#include "link/comm_link.h"

namespace vantrel::engine {

class TCommThread : public link::TCommLink {
public:
    // The worker keeps its own copy of the request; outcome receives what it learns (never null).
    TCommThread(const JobRequest& request, TCmd cmd, std::shared_ptr<JobOutcome> outcome);
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
    std::shared_ptr<const firmware::FileImage> FileImage;
    bool ReadInfoOnly;
    JobChecks Checks;
    // The image this worker chose; also handed to Outcome for the front end.
    std::int32_t SelectedImage = firmware::kNoImageSelected;
    std::shared_ptr<JobOutcome> Outcome;
    std::int32_t FnProgres = 0;
};

// How the front ends create workers without knowing the device: a function that creates and starts one.
using TCommThreadClass = TCommThread* (*)(const JobRequest& request, TCmd cmd, std::shared_ptr<JobOutcome> outcome);

template <class Worker>
TCommThread* CreateCommThread(const JobRequest& request, TCmd cmd, std::shared_ptr<JobOutcome> outcome) {
    auto worker = std::make_unique<Worker>(request, cmd, std::move(outcome));
    worker->Start();
    return worker.release();
}

// The device's worker (engine/vantrel_comm_thread.h), for every front end; tests put their own in its place.
extern TCommThreadClass CommThreadClass;

// Blocks until no worker thread is left running (the end of the program, and tests).
void WaitForWorkersToEnd();

}  // namespace vantrel::engine
