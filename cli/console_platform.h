// What the console front end needs of the operating system beyond standard C++: the operator's interrupt
// and whether the standard streams are terminals.
#pragma once

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

}  // namespace vantrel::cli
