#include "ui/qt/startup.h"

#include <QApplication>

#include "app/options.h"
#include "engine/comm_thread.h"
#include "ui/qt/init_forms.h"
#include "ui/qt/main_window.h"
#include "ui/qt/operator_dialogs.h"
#include "ui/qt/port_monitor.h"

namespace vantrel::ui::qt {

std::unique_ptr<TfrmMain> StartProgram(std::vector<std::string> args, OperatorDialogs& dialogs,
                                       app::PortSource& ports) {
    app::SetCommandLine(std::move(args));
    auto frmMain = std::make_unique<TfrmMain>(dialogs, ports);
    InitForms(*frmMain, dialogs);
    return frmMain;
}

int RunProgram(int argc, char** argv) {
    QApplication application(argc, argv);
    // The arguments as given, bytes unchanged, without the toolkit's own options.
    std::vector<std::string> args(argv, argv + argc);

    StandardDialogs dialogs;
    std::unique_ptr<TfrmMain> frmMain = StartProgram(std::move(args), dialogs, app::SystemPortSource());
    TPortMonitor monitor;
    QObject::connect(&monitor, &TPortMonitor::portsChanged, frmMain.get(), &TfrmMain::RefreshPorts);
    frmMain->show();
    const int status = application.exec();
    engine::WaitForWorkersToEnd();
    return status;
}

}  // namespace vantrel::ui::qt
