// The exit statuses beside the failure codes (link/failures.h), which a job's verdict uses as its status:
// one list for the console, the job control and the presenter.
#pragma once

namespace vantrel::app {

// The update was verified (or the help or a listing was written).
inline constexpr int kExitSuccess = 0;
// A fault of the program itself, or output that was the whole point (the help, a listing) and could not be
// written.
inline constexpr int kExitUnexpected = 1;
// The command line, an image file, the confirmation or the --log file stopped the run before any job.
inline constexpr int kExitUsage = 2;
// The time limit ran out (the job was cancelled, or the port never came).
inline constexpr int kExitTimedOut = 124;
// A signal that ended the program at once adds its number to this.
inline constexpr int kExitSignalBase = 128;

}  // namespace vantrel::app
