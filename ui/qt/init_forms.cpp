#include "ui/qt/init_forms.h"

#include "ui/qt/main_window.h"
#include "ui/qt/message_window.h"
#include "ui/qt/overview_window.h"
#include "ui/qt/report_window.h"

namespace vantrel::ui::qt {

void InitForms(TfrmMain& frmMain, OperatorDialogs& dialogs) {
    auto* frmInfo = new TfrmInfo(&frmMain, dialogs);
    auto* frmProtocol = new TfrmProtocol(&frmMain);
    auto* frmMessage = new TfrmMessage(&frmMain, dialogs);
    frmMain.SetSecondaryWindows(frmInfo, frmProtocol, frmMessage);
}

}  // namespace vantrel::ui::qt
