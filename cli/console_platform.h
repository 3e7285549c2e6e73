// What the console front end needs of the operating system beyond standard C++: the operator's interrupt
// and whether the standard streams are terminals.
#pragma once

#include <string>

namespace vantrel::cli {

// The first interrupt (Ctrl+C, Ctrl+Break, a termination request, a hang-up or closing the console window)
// asks the job to stop at its next transfer, which leaves the logger in its bootloader; interrupts within
// a second of it are the same request, and one after that ends the program at once. A reader that closes
// the output does not end the program: writes fail and the job runs on.
void InstallSignalHandlers();

bool StdinIsTerminal();
bool StderrIsTerminal();
bool StdoutIsTerminal();
// The width of the terminal on stderr in columns, read anew at each call so that a resized window counts
// at the next redraw; 0 when unknown.
int StderrColumns();

// What a second signal, which ends the program at once, leaves behind: the JSON exit event (empty without
// --json) split around its status, which the signal decides, and the line for stderr. Prepared here with
// whatever is known of the job, so that the signal handler only copies bytes (async-signal-safe).
void SetLastWords(const std::string& jsonBeforeStatus, const std::string& jsonAfterStatus, const std::string& errLine);

// For a signal handler of its own (the parent of several loggers'): whether this interrupt is one that
// ends the program at once (one second or more after the first; the first is noted here), and the end
// itself, which writes what SetLastWords prepared with status 128 + signal. Both async-signal-safe.
bool InterruptEndsAtOnce();
[[noreturn]] void EndAtOnce(int signal);

}  // namespace vantrel::cli
