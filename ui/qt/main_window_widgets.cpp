#include "ui/qt/main_window_widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <algorithm>

#include "ui/main_window_controller.h"
#include "ui/qt/design_units.h"
#include "ui/qt/elided_label.h"
#include "ui/window_layout.h"

namespace vantrel::ui::qt {

namespace {

namespace design = layout::main_window;

const int kClientWidth = At120Ppi(design::kClientWidth);
const int kPanelHeight = At120Ppi(design::kPanelHeight);

QRect Design(const layout::DesignRect& r) {
    return {At120Ppi(r.left), At120Ppi(r.top), At120Ppi(r.width), At120Ppi(r.height)};
}

}  // namespace

namespace {

// What a screen reader announces for each control, beside what it reads from the control itself (a
// button's text, the box's item, the bar's value). The shown texts stay as designed; these are not seen.
void DescribeForAssistiveTechnology(const MainWindowWidgets& w) {
    // The label's text is "Comport:"; the box has no text of its own to be named by.
    w.cbxPort->setAccessibleName(QStringLiteral("Comport"));
    w.cbxPort->setAccessibleDescription(QStringLiteral("The serial port the logger is on"));
    w.Label1->setBuddy(w.cbxPort);
    w.ProgressBar1->setAccessibleName(QStringLiteral("Progress"));
    w.btnProg->setAccessibleDescription(QStringLiteral("Updates the logger's firmware"));
    w.btnFile->setAccessibleDescription(QStringLiteral("Updates the logger from a firmware file"));
    w.btnCancel->setAccessibleDescription(QStringLiteral("Cancels the running job"));
    w.btnClose->setAccessibleDescription(QStringLiteral("Closes the program"));
    // Alt and a letter press a button or tick the box, the same letters as on Windows (Close takes its
    // "l": Cancel has the "C" in the same place); the texts stay as designed, so no letter is underlined
    // and a letter without Alt stays a stray key. Qt ignores the key while its control is hidden or
    // disabled, as the system's dialog manager does.
    w.btnProg->setShortcut(QKeySequence(Qt::ALT | Qt::Key_U));
    w.btnFile->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F));
    w.btnCancel->setShortcut(QKeySequence(Qt::ALT | Qt::Key_C));
    w.btnClose->setShortcut(QKeySequence(Qt::ALT | Qt::Key_L));
    w.chkReadInfoOnly->setShortcut(QKeySequence(Qt::ALT | Qt::Key_R));
    // The labels' texts change with the job: the name says what they are, the description carries the
    // whole text (the status text may be shown shortened).
    w.StatusText1->setAccessibleName(QStringLiteral("Status"));
    w.TimeLeft1->setAccessibleName(QStringLiteral("Time left"));
    // The keyboard walks the controls as they are laid out: top to bottom, left to right.
    QWidget::setTabOrder(w.cbxPort, w.btnProg);
    QWidget::setTabOrder(w.btnProg, w.btnFile);
    QWidget::setTabOrder(w.btnFile, w.btnCancel);
    QWidget::setTabOrder(w.btnCancel, w.btnClose);
    QWidget::setTabOrder(w.btnClose, w.chkReadInfoOnly);
}

}  // namespace

MainWindowWidgets CreateMainWindowWidgets(QMainWindow& window) {
    MainWindowWidgets w;
    w.Panel1 = new QFrame(&window);
    w.Panel1->setObjectName(QStringLiteral("Panel1"));
    w.Panel1->setFrameShape(QFrame::NoFrame);
    w.Panel1->setFixedSize(kClientWidth, kPanelHeight);
    window.setCentralWidget(w.Panel1);

    w.Bevel1 = new QFrame(w.Panel1);
    w.Bevel1->setObjectName(QStringLiteral("Bevel1"));
    w.Bevel1->setFrameShape(QFrame::HLine);
    w.Bevel1->setFrameShadow(QFrame::Sunken);
    w.Bevel1->setGeometry(0, 0, kClientWidth, At120Ppi(design::kBevelHeight));

    w.Label1 = new QLabel(QStringLiteral("Comport:"), w.Panel1);
    w.Label1->setObjectName(QStringLiteral("Label1"));
    w.Label1->move(At120Ppi(design::kPortLabelLeft), At120Ppi(design::kPortLabelTop));
    w.Label1->adjustSize();

    w.cbxPort = new QComboBox(w.Panel1);
    w.cbxPort->setObjectName(QStringLiteral("cbxPort"));
    w.cbxPort->setEditable(true);
    // A typed name is the port of the next job as typed; it never becomes an item of the list.
    w.cbxPort->setInsertPolicy(QComboBox::NoInsert);
    QRect box = Design(design::kPortBox);
    box.setHeight(std::max(box.height(), w.cbxPort->sizeHint().height()));
    w.cbxPort->setGeometry(box);

    w.ProgressBar1 = new QProgressBar(w.Panel1);
    w.ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    w.ProgressBar1->setRange(0, 100);
    w.ProgressBar1->setValue(0);
    w.ProgressBar1->setTextVisible(false);
    w.ProgressBar1->setGeometry(Design(design::kProgressBar));

    w.btnProg = new QPushButton(QStringLiteral("Update"), w.Panel1);
    w.btnProg->setObjectName(QStringLiteral("btnProg"));
    w.btnProg->setGeometry(Design(design::kUpdateButton));
    w.btnFile = new QPushButton(QStringLiteral("File"), w.Panel1);
    w.btnFile->setObjectName(QStringLiteral("btnFile"));
    w.btnFile->setGeometry(Design(design::kFileButton));
    w.btnCancel = new QPushButton(QStringLiteral("Cancel"), w.Panel1);
    w.btnCancel->setObjectName(QStringLiteral("btnCancel"));
    w.btnCancel->setGeometry(Design(design::kCloseButton));
    w.btnCancel->hide();
    w.btnClose = new QPushButton(QStringLiteral("Close"), w.Panel1);
    w.btnClose->setObjectName(QStringLiteral("btnClose"));
    w.btnClose->setGeometry(Design(design::kCloseButton));

    w.chkReadInfoOnly = new QCheckBox(QStringLiteral("Read info only"), w.Panel1);
    w.chkReadInfoOnly->setObjectName(QStringLiteral("chkReadInfoOnly"));
    QRect check = Design(design::kReadInfoOnly);
    check.setHeight(std::max(check.height(), w.chkReadInfoOnly->sizeHint().height()));
    check.setWidth(std::max(check.width(), w.chkReadInfoOnly->sizeHint().width()));
    w.chkReadInfoOnly->setGeometry(check);

    w.StatusBar1 = new QStatusBar(&window);
    w.StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    w.StatusBar1->setSizeGripEnabled(false);
    w.StatusText1 = new TElidedLabel(w.StatusBar1);
    w.StatusText1->setObjectName(QStringLiteral("StatusText1"));
    w.StatusBar1->addWidget(w.StatusText1, 1);
    // The time a job still needs, at the right in a part of its own; the status text keeps its place.
    w.TimeLeft1 = new QLabel(w.StatusBar1);
    w.TimeLeft1->setObjectName(QStringLiteral("TimeLeft1"));
    w.TimeLeft1->setTextFormat(Qt::PlainText);
    w.TimeLeft1->setContentsMargins(6, 0, 6, 0);
    w.TimeLeft1->hide();
    w.StatusBar1->addPermanentWidget(w.TimeLeft1);
    window.setStatusBar(w.StatusBar1);

    w.menInfo = window.menuBar()->addMenu(QStringLiteral("Info"));
    w.menInfo->setObjectName(QStringLiteral("menInfo"));
    w.menInfoFirmware = w.menInfo->addAction(QStringLiteral("Firmware"));
    w.menInfoFirmware->setObjectName(QStringLiteral("menInfoFirmware"));
    w.menInfoFile = w.menInfo->addAction(QStringLiteral("File version"));
    w.menInfoFile->setObjectName(QStringLiteral("menInfoFile"));
    QAction* N1 = w.menInfo->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    w.menFileExit = w.menInfo->addAction(QStringLiteral("Exit"));
    w.menFileExit->setObjectName(QStringLiteral("menFileExit"));

    DescribeForAssistiveTechnology(w);
    return w;
}

void LayOutUpdateButtons(const MainWindowWidgets& w, bool fileButton) {
    const UpdateButtonsGeometry g = ArrangeUpdateButtons(fileButton, w.btnProg->x(), w.btnClose->width(),
                                                         design::kFileButtonGap);
    w.btnProg->resize(g.updateWidth, w.btnProg->height());
    if (fileButton) w.btnFile->setGeometry(g.fileLeft, w.btnFile->y(), g.fileWidth, w.btnFile->height());
}

}  // namespace vantrel::ui::qt
