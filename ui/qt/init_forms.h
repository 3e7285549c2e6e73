// The secondary windows, created once after the main window and kept until the program ends.
#pragma once

namespace vantrel::ui::qt {

class OperatorDialogs;
class TfrmMain;

// Creates the overview, the report window (which places itself under the main window) and the message
// window, in this order, and hands them to the main window, which owns them.
void InitForms(TfrmMain& frmMain, OperatorDialogs& dialogs);

}  // namespace vantrel::ui::qt
