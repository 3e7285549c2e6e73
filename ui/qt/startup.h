// Program start-up: the worker class, the main window, the secondary windows, the event loop.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/port_list.h"

namespace vantrel::ui::qt {

class OperatorDialogs;
class TfrmMain;

// Everything before the event loop: the command line (args[0] being the program's own path), the
// device worker as the class jobs are created from, the main window and then the secondary windows.
// Needs a QApplication.
std::unique_ptr<TfrmMain> StartProgram(std::vector<std::string> args, OperatorDialogs& dialogs, app::PortSource& ports);

// The whole program: start-up, the main window shown centred, port arrivals and removals followed, the
// event loop until the main window closes. A job still running then was cancelled by the operator's
// Yes and ends at its next transfer attempt, which is waited for.
int RunProgram(int argc, char** argv);

}  // namespace vantrel::ui::qt
