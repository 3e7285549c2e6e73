// What the console front end needs of the operating system beyond standard C++: the operator's interrupt
// and whether the standard streams are terminals.
#pragma once

namespace vantrel::cli {

// The first interrupt (Ctrl+C, Ctrl+Break, a termination request, closing the console window) asks the
// job to stop at its next transfer, which leaves the logger in its bootloader; a second one ends the
// program at once.
void InstallCancelHandlers();

bool StdinIsTerminal();
bool StderrIsTerminal();

}  // namespace vantrel::cli
