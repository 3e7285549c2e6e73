// One logger's job from the console: the log opened, the port found (or waited for), the question asked,
// the converter looked at, then the job run to its verdict.
#pragma once

#include <string>

#include "cli/arguments.h"
#include "cli/console_window.h"
#include "cli/job_log.h"
#include "cli/json_events.h"

namespace vantrel::cli {

// What the run leaves beside its exit status: for the JSON exit event, and the log that outlives it.
struct RunState {
    JsonLines* json = nullptr;
    JobLog log;
    // The failure's name (a failure code's, or one of the run's own: "usage", "image-file", ...), the
    // verdict or the error as the operator reads it, and what the program found out beyond it.
    std::string failure;
    std::string reason;
    std::string detail;
    // Why a --log stopped in one of several loggers' runs, as its child said (this run's own is log's).
    std::string logError;
};

// The operator's answer to the question the Update button asks; a refusal raises UsageError (status 2).
void Confirm(const Arguments& args, ConsoleIo& io);

// The name the exit event gives an exit status ("timeout", a failure code's name, "unexpected").
std::string FailureName(int status);

// The one logger port whose adapter has this serial number; none, or several, raise UsageError.
std::string PortWithSerialNumber(const std::string& serial);

// A --log that would write onto the port being updated raises UsageError.
void RefuseLogOnThePort(const Arguments& args, const std::string& port);

// The serial number of the USB adapter the port is on (named by its device, or a link to it); empty when
// the system does not tell it.
std::string AdapterSerialNumber(const std::string& port);

// A job's summary line as the history keeps it: the adapter's serial number where it is known, and the
// program and version that did the job.
std::string HistoryRecord(const std::string& summaryLine, const std::string& adapterSerial);

// The job on args.ports[0] or the adapter of args.portSerials[0]; returns the exit status.
int RunSingleJob(Arguments& args, ConsoleIo& io, RunState& run);

}  // namespace vantrel::cli
