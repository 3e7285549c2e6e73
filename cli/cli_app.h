// The console updater, callable in-process so tests drive it like a technician does.
//
//   vantrel-update-cli --port PORT [--file IMAGE] [--read-info-only] [--yes] [--json] [--max-restarts N]
//                      [--log FILE] [--timeout SECONDS] [--wait-for-port SECONDS] [KEY:VALUE ...]
//   vantrel-update-cli --port-serial SN ...       (the port whose USB adapter has that serial number)
//   vantrel-update-cli --port A --port B ...      (several loggers at once, a child process each)
//   vantrel-update-cli --list-ports [--json]
//   vantrel-update-cli --list-images [--file IMAGE] [--json]
//
// Exit status: 0 verified update; the failure code of the verdict (10, 11, 20, 40 to 47, 70); 1 an
// unexpected failure, or the help or a listing that could not be written; 2 usage errors, unreadable
// image files, declined or unanswerable confirmations, a --log file that cannot be written; 30 / 44 when
// --max-restarts stopped a communication retry / a programming-error repeat; 124 when --timeout cancelled
// the job or ran out while waiting for the port (app/exit_status.h); 10 also when the port did not appear within
// --wait-for-port. Several loggers: 0 when all were updated, else the status of the first port on the command line that
// was not. An update's status is its verdict even when its output could not be written (main adds 128 + signal for a
// signal that ended the program at once).
//
// The parts: cli/arguments (the options and the rules that refuse them), cli/single_job (one logger),
// cli/many_loggers (several, a child process each), cli/listings; this file only joins them and writes
// the exit event.
#pragma once

#include <string>
#include <vector>

#include "app/exit_status.h"
#include "cli/console_window.h"

namespace vantrel::cli {

using app::kExitUsage;

// args[0] is the program's path. Signals are the caller's business: they only set CancelRequested.
int RunCli(const std::vector<std::string>& args, ConsoleIo io);

}  // namespace vantrel::cli
