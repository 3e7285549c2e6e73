// Several loggers updated at once: a child process of this program for each port, one job in each. The
// parent shows a line per port as each ends and a table at the end, or with --json passes every child's
// JSON line on with the port added to it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/child_processes.h"
#include "cli/console_window.h"
#include "cli/json_events.h"
#include "cli/single_job.h"

namespace vantrel::cli {

// How a port was named on the command line: the option and its value.
struct PortChoice {
    std::string option;  // "--port" or "--port-serial"
    std::string value;
};

// A child's command line: this run's own arguments without its ports, with one port, and the
// confirmation, which the parent asked once for all, answered.
std::vector<std::string> ChildCommandLine(const std::vector<std::string>& commandLine, const PortChoice& port);

// The live line of a port from its child's progress event: "[#####     ] 25% 1:10 elapsed, 3:20 left";
// nothing for another line.
std::optional<std::string> ProgressText(const std::string& jsonLine);

// The child's JSON line with the port after the event's name, where a reader looks first; a line that is
// not a JSON object becomes an "output" event.
std::string TaggedJson(const std::string& jsonLine, const std::string& port);

// Runs a child for each port and waits for all of them. The status is 0 when every logger was updated,
// otherwise that of the first port on the command line that was not, and failure (when given) the name
// that port's exit event gave it. Each child runs with --json and its outcome is read from its exit
// event; a child that ended without one (killed by a signal, died) or could not be started gets one from
// the parent. JSON Lines go to json when there is one. logError (when given): why the first port's --log
// whose log stopped did, as its exit event said.
int UpdateMany(const std::vector<std::string>& commandLine, const std::vector<PortChoice>& ports, JsonLines* json,
               ConsoleIo& io, ChildRunner& children, std::string* failure = nullptr, std::string* logError = nullptr);

// The run of several ports: each logger once (a port named twice, also under two names of one device, is
// refused), the question asked once for all, then UpdateMany with this program's own command line.
int UpdateManyLoggers(const Arguments& args, ConsoleIo& io, RunState& run);

}  // namespace vantrel::cli
