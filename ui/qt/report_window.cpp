#include "ui/qt/report_window.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>
#include <ctime>

#include "app/presenter.h"
#include "ui/qt/text_codec.h"
#include "ui/window_layout.h"

namespace vantrel::ui::qt {

using layout::report_window::kClientHeight;
using layout::report_window::kClientWidth;

TfrmProtocol::TfrmProtocol(QWidget* mainWindow)
    // A title but no system menu and so no close button: whether the report is seen is the main
    // window's decision, not the operator's.
    : QWidget(mainWindow, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("frmProtocol"));
    setWindowTitle(QStringLiteral("Report"));
    // Closing the main window ends the program, whether or not the report is showing.
    setAttribute(Qt::WA_QuitOnClose, false);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setAccessibleName(QStringLiteral("Report"));
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Memo1);

    resize(kClientWidth, kClientHeight);
    if (mainWindow != nullptr) {
        const QRect outline = mainWindow->frameGeometry();
        const int ownFrameWidth = frameGeometry().width() - width();
        resize(outline.width() - ownFrameWidth, height());
        move(outline.left(), outline.top() + outline.height());
    }
    Clear();
}

void TfrmProtocol::Add(const std::string& sLine) {
    Memo1->appendPlainText(FromText(app::ReportLine(std::time(nullptr), sLine)));
    QScrollBar* bar = Memo1->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void TfrmProtocol::Clear() { Memo1->clear(); }

void TfrmProtocol::closeEvent(QCloseEvent* e) {
    // Window managers offer a close button the window does not ask for. Hidden by it, the report would
    // stay away for the rest of the run, since the main window decides only once whether it is seen.
    // Once the main window has closed, the program is ending and the toolkit closes every window before
    // it quits: refused then, the program would never end.
    const QWidget* mainWindow = parentWidget();
    if (mainWindow != nullptr && mainWindow->isVisible()) {
        e->ignore();
        return;
    }
    e->accept();
}

QStringList TfrmProtocol::Lines() const {
    const QString text = Memo1->toPlainText();
    if (text.isEmpty()) return {};
    return text.split(QLatin1Char('\n'));
}

}  // namespace vantrel::ui::qt
