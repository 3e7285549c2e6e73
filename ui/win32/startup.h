// Program start-up: the worker class, the main window, the secondary windows, the message loop.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/port_list.h"

namespace vantrel::ui::win32 {

class OperatorDialogs;
class TfrmMain;

// Everything before the message loop: the common controls, the command line (args[0] being the program's
// own path), the device worker as the class jobs are created from, the main window and then the secondary
// windows.
std::unique_ptr<TfrmMain> StartProgram(std::vector<std::string> args, OperatorDialogs& dialogs, app::PortSource& ports);

// The program's command line in UTF-8, as every name of the program on Windows.
std::vector<std::string> ProgramArguments();

// Shows the window's --help or --version text where the caller sees it: on the standard output it was
// given, else on the console it was started from, else in a message box (started from the shell). False
// when it could not be written.
bool ShowProgramInfo(const std::string& text);

// The whole program: start-up, the main window shown centred, the message loop until the main window
// closes. A job still running then was cancelled by the operator's Yes and ends at its next transfer
// attempt, which is waited for.
int RunProgram();

}  // namespace vantrel::ui::win32
