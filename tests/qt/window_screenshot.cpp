// Takes the picture of the window for the documentation: the program started as usual (internal mode
// comes from the settings file the caller points XDG_CONFIG_HOME at), an update started on the given
// port, and the screen grabbed once the bar has passed the given percentage. The job is then cancelled
// and waited for.
//
//   window-screenshot OUTPUT.png PORT [PERCENT]
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <cstdio>
#include <cstdlib>

#include "engine/comm_thread.h"
#include "link/cancel.h"
#include "ui/qt/main_window.h"
#include "ui/qt/operator_dialogs.h"
#include "ui/qt/report_window.h"
#include "ui/qt/startup.h"

namespace {

using namespace vantrel::ui::qt;

// Nobody is there to answer: every question is Yes, and no window waits for OK.
class Unattended final : public OperatorDialogs {
public:
    bool Confirm(QWidget*, const QString&) override { return true; }
    QString PickFile(QWidget*, const QString&) override { return {}; }
    int RunModal(QDialog&) override { return QDialog::Accepted; }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.png PORT [PERCENT]\n", argv[0]);
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    const int percent = argc > 3 ? std::atoi(argv[3]) : 40;

    Unattended dialogs;
    auto frmMain = StartProgram({argv[0]}, dialogs, vantrel::app::SystemPortSource());
    frmMain->show();
    QTest::qWait(500);

    frmMain->findChild<QComboBox*>(QStringLiteral("cbxPort"))->setEditText(QString::fromLocal8Bit(argv[2]));
    frmMain->findChild<QPushButton*>(QStringLiteral("btnProg"))->click();
    auto* bar = frmMain->findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
    const bool reached = QTest::qWaitFor([&] { return bar->value() >= percent || !frmMain->Busy(); }, 600000);
    QTest::qWait(200);

    int status = 0;
    if (!reached || !frmMain->Busy()) {
        std::fprintf(stderr, "the job did not reach %d%% (status: %s)\n", percent, qPrintable(frmMain->StatusText()));
        status = 1;
    } else {
        QRect area = frmMain->frameGeometry();
        if (frmMain->frmProtocol()->isVisible()) area = area.united(frmMain->frmProtocol()->frameGeometry());
        const QPixmap screen = frmMain->screen()->grabWindow(0);
        if (!screen.copy(area.adjusted(-8, -8, 8, 8)).save(output)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(output));
            status = 1;
        }
    }
    vantrel::link::CancelRequested = true;
    if (!QTest::qWaitFor([&] { return !frmMain->Busy(); }, 60000)) status = 1;
    vantrel::engine::WaitForWorkersToEnd();
    return status;
}
