// The update station: it watches for logger ports appearing, gives each new one a moment to settle,
// then updates it in a child process (the several-loggers path, cli/many_loggers.h), several at once, until
// it is stopped. Every logger it takes ends on a line of its own and in the per-user history; after its
// verdict a port is left alone until it is unplugged, so a logger is never updated twice in a row.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/console_window.h"
#include "cli/single_job.h"

namespace vantrel::cli {

// The child's command line for one logger: the station's own options left out, the port, the confirmation
// the station asked once, --json (the station reads each outcome from its exit event), the history, and
// what is left of the station's time limit as the job's own.
std::vector<std::string> StationChildCommandLine(const std::vector<std::string>& commandLine, const std::string& port,
                                                 std::optional<std::chrono::milliseconds> timeLeft);

// The USB IDs the station takes where a port's adapter is known: those of the udev rule the package
// installs, and the site's own (--usb-id).
std::vector<std::string> StationUsbIds(const std::vector<std::string>& siteIds);

// Runs the station until it is stopped (a signal, --max-loggers, --timeout); the status is 0 when every
// logger it took was updated, otherwise that of the first one taken that was not.
int RunStation(const Arguments& args, ConsoleIo& io, RunState& run);

}  // namespace vantrel::cli
