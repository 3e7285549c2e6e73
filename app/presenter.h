// What the operator sees of a job, and when a job starts again by itself. The one consumer of the
// worker's notifications, shared by every front end: each implements WindowOps and only renders, so all
// show the same texts and follow the same restart rules. How a job starts and is cancelled is JobControl's.
#pragma once

#include <cstdint>
#include <ctime>
#include <exception>
#include <optional>
#include <string>

#include "app/job_control.h"
#include "app/job_rules.h"
#include "app/window_ops.h"

namespace vantrel::app {

// Report, then status line, then message window.
void Announce(WindowOps& window, const std::string& text);

// Selects a job's image source and, on a file that cannot be read, announces why and returns false. For a
// window that keeps its own report and port; the main-window controller does all of it itself.
inline bool PrepareImageSource(WindowOps& window, const std::string& fileName) {
    try {
        SelectImageSource(fileName);
    } catch (const std::exception& e) {
        Announce(window, UnreadableImageFileText(e));
        return false;
    }
    return true;
}

// One line of the report: "hh-nn-ss -> text" in local time.
std::string ReportLine(std::time_t when, const std::string& text);

// The process's exit status for a job that ended with this failure code: the code itself when it is one
// the worker raises, 1 for anything else (an unexpected failure inside the worker).
int ExitStatusOfFailure(std::int32_t failure);

class Presenter {
public:
    Presenter(WindowOps& window, JobControl& jobs) : window_(window), jobs_(jobs) {}

    // Presents one notification. Returns the exit status once the job has ended for good: 0 after a
    // verified update, ExitStatusOfFailure of the verdict, 30 / 44 when the restart bound stopped a
    // communication retry / a programming-error repeat, or kExitTimedOut for a job its time limit cancelled.
    // The job's summary line goes to the JobControl's sink then.
    std::optional<int> Handle(std::uint32_t code, std::int32_t value);

    // The text of the verdict of the job that ended last.
    const std::string& Verdict() const { return verdict_; }
    // What the job that ended last leaves that its verdict does not say (empty when nothing): a cancel
    // after the new firmware was started.
    const std::string& Detail() const { return detail_; }

    // The text the verdict of a failure code shows.
    static std::string FailureText(std::int32_t failure, const std::string& portText);

private:
    std::optional<int> Present(std::uint32_t code, std::int32_t value);
    std::optional<int> Failure(std::int32_t failure);

    WindowOps& window_;
    JobControl& jobs_;
    std::string verdict_;
    std::string detail_;
};

}  // namespace vantrel::app
