#include "ui/qt/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <optional>

#include "engine/notify.h"
#include "engine/option_flags.h"
#include "firmware/catalogue.h"
#include "firmware/image_file.h"
#include "ui/job_rules.h"
#include "ui/options.h"
#include "ui/qt/design_units.h"
#include "ui/qt/elided_label.h"
#include "ui/qt/message_window.h"
#include "ui/qt/operator_dialogs.h"
#include "ui/qt/overview_window.h"
#include "ui/qt/port_refresh.h"
#include "ui/qt/report_window.h"
#include "ui/qt/text_codec.h"
#include "ui/qt/window_frame.h"
#include "ui/window_layout.h"

namespace vantrel::ui::qt {

namespace {

namespace design = layout::main_window;

const int kClientWidth = At120Ppi(design::kClientWidth);
const int kPanelHeight = At120Ppi(design::kPanelHeight);

QRect Design(const layout::DesignRect& r) {
    return {At120Ppi(r.left), At120Ppi(r.top), At120Ppi(r.width), At120Ppi(r.height)};
}

// A notification on its way from the worker's thread to the window's.
class NotificationEvent final : public QEvent {
public:
    explicit NotificationEvent(const engine::Notification& n) : QEvent(Kind()), notification(n) {}
    static QEvent::Type Kind() {
        static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
        return kind;
    }
    engine::Notification notification;
};

// Runs on the worker's thread with the registry locked: it only queues. The window unregisters before it
// is destroyed, so once it is gone no post reaches it; the guard keeps a post during its destruction
// harmless all the same.
class WindowTarget final : public engine::NotificationTarget {
public:
    explicit WindowTarget(QObject* window) : window_(window) {}
    void Post(const engine::Notification& notification) override {
        if (QObject* window = window_.data()) QCoreApplication::postEvent(window, new NotificationEvent(notification));
    }

private:
    QPointer<QObject> window_;
};

}  // namespace

TfrmMain::TfrmMain(OperatorDialogs& dialogs, PortSource& ports, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      dialogs_(dialogs),
      ports_(ports),
      handle_(engine::RegisterNotificationTarget(std::make_shared<WindowTarget>(this))) {
    setObjectName(QStringLiteral("frmMain"));
    CreateControls();

    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    menInfo->setTitle(QString::fromLatin1(kMenuInfoCaption));
    ReplaceDialogText(DialogText::ConfirmCaption, QString::fromLatin1(kConfirmCaption));
    ReplaceDialogText(DialogText::YesButton, QString::fromLatin1(kYesText));
    ReplaceDialogText(DialogText::NoButton, QString::fromLatin1(kNoText));
    if (!CommandLine().empty()) initialDir_ = FromText(CommandLine().front());
    const bool internal = InternalMode();
    chkReadInfoOnly->setChecked(false);
    chkReadInfoOnly->setVisible(engine::ReadInfoOnlySupported && internal);
    ReadCommandLineOptions(internal);
    ApplyFileModeLayout();

    // Client height: the panel and the status bar; nothing below the panel.
    adjustSize();
    setFixedSize(sizeHint());
    if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());

    std::vector<std::string> names;
    ListSerialPorts(names, ports_);
    for (const std::string& name : names) cbxPort->addItem(FromText(name));
    if (cbxPort->count() > 0) cbxPort->setCurrentIndex(0);
    SetStatusText(engine::ClearsMeasurements ? "F" : "");
    SetIdle();
}

TfrmMain::~TfrmMain() {
    engine::UnregisterNotificationTarget(handle_);
    if (hourglass_) QApplication::restoreOverrideCursor();
}

void TfrmMain::CreateControls() {
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::NoFrame);
    Panel1->setFixedSize(kClientWidth, kPanelHeight);
    setCentralWidget(Panel1);

    Bevel1 = new QFrame(Panel1);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(0, 0, kClientWidth, At120Ppi(design::kBevelHeight));

    Label1 = new QLabel(QStringLiteral("Comport:"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(At120Ppi(design::kPortLabelLeft), At120Ppi(design::kPortLabelTop));
    Label1->adjustSize();

    cbxPort = new QComboBox(Panel1);
    cbxPort->setObjectName(QStringLiteral("cbxPort"));
    cbxPort->setEditable(true);
    // A typed name is the port of the next job as typed; it never becomes an item of the list.
    cbxPort->setInsertPolicy(QComboBox::NoInsert);
    QRect box = Design(design::kPortBox);
    box.setHeight(std::max(box.height(), cbxPort->sizeHint().height()));
    cbxPort->setGeometry(box);

    ProgressBar1 = new QProgressBar(Panel1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setGeometry(Design(design::kProgressBar));

    btnProg = new QPushButton(QStringLiteral("Update"), Panel1);
    btnProg->setObjectName(QStringLiteral("btnProg"));
    btnProg->setGeometry(Design(design::kUpdateButton));
    btnFile = new QPushButton(QStringLiteral("File"), Panel1);
    btnFile->setObjectName(QStringLiteral("btnFile"));
    btnFile->setGeometry(Design(design::kFileButton));
    btnCancel = new QPushButton(QStringLiteral("Cancel"), Panel1);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(Design(design::kCloseButton));
    btnCancel->hide();
    btnClose = new QPushButton(QStringLiteral("Close"), Panel1);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setGeometry(Design(design::kCloseButton));

    chkReadInfoOnly = new QCheckBox(QStringLiteral("Read info only"), Panel1);
    chkReadInfoOnly->setObjectName(QStringLiteral("chkReadInfoOnly"));
    QRect check = Design(design::kReadInfoOnly);
    check.setHeight(std::max(check.height(), chkReadInfoOnly->sizeHint().height()));
    check.setWidth(std::max(check.width(), chkReadInfoOnly->sizeHint().width()));
    chkReadInfoOnly->setGeometry(check);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusText1 = new TElidedLabel(StatusBar1);
    StatusText1->setObjectName(QStringLiteral("StatusText1"));
    StatusBar1->addWidget(StatusText1, 1);
    setStatusBar(StatusBar1);

    menInfo = menuBar()->addMenu(QStringLiteral("Info"));
    menInfo->setObjectName(QStringLiteral("menInfo"));
    menInfoFirmware = menInfo->addAction(QStringLiteral("Firmware"));
    menInfoFirmware->setObjectName(QStringLiteral("menInfoFirmware"));
    menInfoFile = menInfo->addAction(QStringLiteral("File version"));
    menInfoFile->setObjectName(QStringLiteral("menInfoFile"));
    QAction* N1 = menInfo->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    menFileExit = menInfo->addAction(QStringLiteral("Exit"));
    menFileExit->setObjectName(QStringLiteral("menFileExit"));

    connect(btnProg, &QPushButton::clicked, this, &TfrmMain::btnProgClick);
    connect(btnFile, &QPushButton::clicked, this, &TfrmMain::btnFileClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmMain::btnCancelClick);
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    connect(menFileExit, &QAction::triggered, this, &QWidget::close);
    connect(menInfoFirmware, &QAction::triggered, this, &TfrmMain::menInfoFirmwareClick);
    connect(menInfoFile, &QAction::triggered, this, &TfrmMain::menInfoFileClick);
}

void TfrmMain::SetSecondaryWindows(TfrmInfo* info, TfrmProtocol* protocol, TfrmMessage* message) {
    frmInfo_ = info;
    frmProtocol_ = protocol;
    frmMessage_ = message;
}

void TfrmMain::ApplyFileModeLayout() {
    const bool files = engine::FileMode == engine::kFileModeImageFiles;
    menInfoFile->setVisible(files);
    btnFile->setVisible(files);
    if (files) {
        btnFile->resize(btnClose->width() / 2, btnFile->height());
        btnProg->resize(btnClose->width() / 2, btnProg->height());
        btnFile->move(btnProg->x() + btnProg->width() + design::kFileButtonGap, btnFile->y());
    } else {
        btnProg->resize(btnClose->width(), btnProg->height());
    }
}

void TfrmMain::AddReport(const std::string& text) {
    if (frmProtocol_ != nullptr) frmProtocol_->Add(text);
}

void TfrmMain::SetStatusText(const std::string& text) {
    const QString shown = FromText(text);
    StatusText1->SetFullText(shown);
    StatusBar1->setToolTip(shown);
}

QString TfrmMain::StatusText() const { return StatusText1->FullText(); }

void TfrmMain::ShowInfoMessage(const std::string& text) {
    if (frmMessage_ != nullptr) {
        const QRect outline = frameGeometry();
        frmMessage_->showMsg(text, outline.x(), outline.y(), outline.width(), outline.height());
        return;
    }
    // Before the message window exists: the toolkit's box, centred on the screen.
    QMessageBox box(QMessageBox::Information, QString::fromLatin1(kApplicationTitle), FromText(text), QMessageBox::Ok);
    dialogs_.RunModal(box);
}

void TfrmMain::ShowBusy(bool busy) {
    btnProg->setEnabled(!busy);
    btnClose->setVisible(!busy);
    btnCancel->setVisible(busy);
    cbxPort->setEnabled(!busy);
    // The image source and the selection belong to the worker until its job ends; the overview reads the
    // selection the worker writes while it chooses an image.
    btnFile->setEnabled(!busy);
    menInfoFile->setEnabled(!busy);
    menInfoFirmware->setEnabled(!busy);
    // A restart starts a job while busy; the hourglass is set once per busy period.
    if (busy != hourglass_) {
        if (busy) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
        } else {
            QApplication::restoreOverrideCursor();
        }
        hourglass_ = busy;
    }
}

bool TfrmMain::ReadInfoOnlyChosen() const { return chkReadInfoOnly->isChecked(); }

void TfrmMain::SetProgressPosition(int position) { ProgressBar1->setValue(position); }

int TfrmMain::ProgressPosition() const { return ProgressBar1->value(); }

void TfrmMain::SetApplicationTitle(const std::string& title) { setWindowTitle(FromText(title)); }

void TfrmMain::Beep() { QApplication::beep(); }

std::string TfrmMain::PortText() const { return ToText(cbxPort->currentText()); }

void TfrmMain::ScheduleRestart(std::chrono::milliseconds delay, std::function<void()> restart) {
    if (restartTimer_) return restartTimer_(delay, std::move(restart));
    QTimer::singleShot(delay, this, std::move(restart));
}

bool TfrmMain::PrepareImageSource(const QString& fileName) {
    if (frmProtocol_ != nullptr) frmProtocol_->Clear();
    if (!ui::PrepareImageSource(*this, fileName.isEmpty() ? std::string() : ToText(fileName))) return false;
    FPort = PortText();
    return true;
}

void TfrmMain::btnProgClick() {
    if (Busy()) return;
    if (const std::optional<std::string> question = UpdateConfirmation()) {
        if (!dialogs_.Confirm(this, FromText(*question))) return;
    }
    if (!PrepareImageSource(QString())) return;
    jobs_.StartNew(FPort, EarlierCancel::Forget);
}

void TfrmMain::btnFileClick() {
    if (Busy()) return;
    const QString file = dialogs_.PickFile(this, initialDir_);
    if (file.isEmpty()) return;
    // An unreadable file starts nothing: the operator asked for that file, not for the built-in images.
    if (!PrepareImageSource(file)) return;
    jobs_.StartNew(FPort, EarlierCancel::Forget);
}

void TfrmMain::btnCancelClick() { jobs_.Cancel(); }

void TfrmMain::menInfoFirmwareClick() {
    if (frmInfo_ == nullptr || Busy()) return;
    const QRect outline = frameGeometry();
    frmInfo_->Execute(outline.x(), outline.y(), outline.height());
}

void TfrmMain::menInfoFileClick() {
    if (Busy()) return;
    const QString file = dialogs_.PickFile(this, initialDir_);
    if (file.isEmpty() || !QFileInfo::exists(file)) return;
    try {
        SelectOverviewFile(ToText(file));
    } catch (const std::exception& e) {
        ShowInfoMessage(UnreadableImageFileText(e));
        return;
    }
    menInfoFirmwareClick();
}

void TfrmMain::RefreshPorts() {
    RefreshPortBox(*cbxPort, ports_, QGuiApplication::applicationState() == Qt::ApplicationActive);
}

bool TfrmMain::event(QEvent* e) {
    if (e->type() == NotificationEvent::Kind()) {
        const engine::Notification& n = static_cast<NotificationEvent*>(e)->notification;
        // Once the operator closed the program, the end of a cancelled job has nobody left to tell; a
        // verdict box now would only hold up the program's end.
        if (!closed_) presenter_.Handle(n.code, n.value);
        return true;
    }
    return QMainWindow::event(e);
}

void TfrmMain::closeEvent(QCloseEvent* e) {
    if (Busy()) {
        if (!dialogs_.Confirm(this, QString::fromLatin1(kCloseWhileBusyQuestion))) {
            e->ignore();
            return;
        }
        // The worker stops at its next transfer attempt; the program waits for it after the event loop.
        jobs_.Cancel();
    }
    closed_ = true;
    e->accept();
}

void TfrmMain::moveEvent(QMoveEvent* e) {
    QMainWindow::moveEvent(e);
    DockReportWindow();
}

void TfrmMain::DockReportWindow() {
    if (frmProtocol_ == nullptr) return;
    const QRect outline = frameGeometry();
    const QPoint under(outline.left(), outline.top() + outline.height());
    if (frmProtocol_->pos() != under) MoveFrameTo(*frmProtocol_, under);
}

void TfrmMain::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    closed_ = false;
    if (firstIdleScheduled_) return;
    firstIdleScheduled_ = true;
    QTimer::singleShot(0, this, &TfrmMain::ApplicationEvents1Idle);
}

void TfrmMain::ApplicationEvents1Idle() {
    // The one place that decides whether the report is seen: operators never see it.
    if (frmProtocol_ == nullptr) return;
    frmProtocol_->setVisible(engine::FileMode != engine::kFileModeOperator);
    // Its frame is known only now that it is shown; placed before, it may sit off by the frame's width.
    DockReportWindow();
}

}  // namespace vantrel::ui::qt
