#include "ui/qt/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>

#include "ui/qt/elided_label.h"
#include "ui/qt/main_window_widgets.h"
#include "ui/qt/message_window.h"
#include "ui/qt/notification_event.h"
#include "ui/qt/operator_dialogs.h"
#include "ui/qt/overview_window.h"
#include "ui/qt/port_refresh.h"
#include "ui/qt/report_window.h"
#include "ui/qt/text_codec.h"
#include "ui/qt/window_frame.h"

namespace vantrel::ui::qt {

TfrmMain::TfrmMain(OperatorDialogs& dialogs, app::PortSource& ports, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      dialogs_(dialogs),
      w_(CreateMainWindowWidgets(*this)),
      handle_(engine::RegisterNotificationTarget(std::make_shared<WindowTarget>(this))),
      controller_(*this, ports) {
    setObjectName(QStringLiteral("frmMain"));
    ConnectControls();
    controller_.Start();
    // Client height: the panel and the status bar; nothing below the panel.
    adjustSize();
    setFixedSize(sizeHint());
    if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
}

TfrmMain::~TfrmMain() {
    engine::UnregisterNotificationTarget(handle_);
    if (hourglass_) QApplication::restoreOverrideCursor();
}

void TfrmMain::ConnectControls() {
    connect(w_.btnProg, &QPushButton::clicked, this, [this] { controller_.UpdateClicked(); });
    connect(w_.btnFile, &QPushButton::clicked, this, [this] { controller_.FileClicked(); });
    connect(w_.btnCancel, &QPushButton::clicked, this, [this] { controller_.CancelClicked(); });
    connect(w_.btnClose, &QPushButton::clicked, this, &QWidget::close);
    connect(w_.menFileExit, &QAction::triggered, this, &QWidget::close);
    connect(w_.menInfoFirmware, &QAction::triggered, this, [this] { controller_.FirmwareClicked(); });
    connect(w_.menInfoFile, &QAction::triggered, this, [this] { controller_.FileVersionClicked(); });
    // The menu's caption has no letter to underline, so the keyboard opens it with F10, as desktops do;
    // its items are then walked with the arrow keys.
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this, [this] { menuBar()->setActiveAction(w_.menInfo->menuAction()); });

    for (const Timer timer : {Timer::Restart, Timer::TimeLeft}) {
        auto* qtimer = new QTimer(this);
        qtimer->setSingleShot(true);
        connect(qtimer, &QTimer::timeout, this, [this, timer] {
            if (auto expired = std::move(expired_[timer])) expired();
        });
        timers_[timer] = qtimer;
    }
}

void TfrmMain::SetSecondaryWindows(TfrmInfo* info, TfrmProtocol* protocol, TfrmMessage* message) {
    frmInfo_ = info;
    frmProtocol_ = protocol;
    frmMessage_ = message;
}

QWidget* TfrmMain::Widget(Control control) const {
    switch (control) {
        case Control::PortBox: return w_.cbxPort;
        case Control::Update: return w_.btnProg;
        case Control::File: return w_.btnFile;
        case Control::Cancel: return w_.btnCancel;
        case Control::Close: return w_.btnClose;
        case Control::ReadInfoOnly: return w_.chkReadInfoOnly;
        default: return nullptr;
    }
}

QAction* TfrmMain::MenuEntry(Control control) const {
    if (control == Control::MenuFirmware) return w_.menInfoFirmware;
    if (control == Control::MenuFileVersion) return w_.menInfoFile;
    return nullptr;
}

void TfrmMain::SetEnabled(Control control, bool enabled) {
    if (QWidget* widget = Widget(control)) widget->setEnabled(enabled);
    if (QAction* entry = MenuEntry(control)) entry->setEnabled(enabled);
}

void TfrmMain::SetVisible(Control control, bool visible) {
    if (QWidget* widget = Widget(control)) widget->setVisible(visible);
    if (QAction* entry = MenuEntry(control)) entry->setVisible(visible);
}

void TfrmMain::SetFocus(Control control) {
    if (QWidget* widget = Widget(control)) widget->setFocus(Qt::OtherFocusReason);
}

void TfrmMain::SetText(Text which, const std::string& text) {
    const QString shown = FromText(text);
    switch (which) {
        case Text::Caption: setWindowTitle(shown); break;
        case Text::InfoMenu: w_.menInfo->setTitle(shown); break;
        case Text::Status:
            w_.StatusText1->SetFullText(shown);
            w_.StatusText1->setAccessibleDescription(shown);
            w_.StatusBar1->setToolTip(shown);
            break;
        case Text::TimeLeft:
            w_.TimeLeft1->setText(shown);
            w_.TimeLeft1->setAccessibleDescription(shown);
            w_.TimeLeft1->setVisible(!shown.isEmpty());
            break;
    }
}

QString TfrmMain::StatusText() const { return w_.StatusText1->FullText(); }

void TfrmMain::SetChecked(Control control, bool checked) {
    if (control == Control::ReadInfoOnly) w_.chkReadInfoOnly->setChecked(checked);
}

bool TfrmMain::Checked(Control control) const {
    return control == Control::ReadInfoOnly && w_.chkReadInfoOnly->isChecked();
}

void TfrmMain::LayOutUpdateButtons(bool fileButton) { qt::LayOutUpdateButtons(w_, fileButton); }

void TfrmMain::ReplaceDialogTexts(const DialogTexts& texts) {
    ReplaceDialogText(DialogText::ConfirmCaption, FromText(texts.caption));
    ReplaceDialogText(DialogText::YesButton, FromText(texts.yes));
    ReplaceDialogText(DialogText::NoButton, FromText(texts.no));
}

std::string TfrmMain::PortText() const { return ToText(w_.cbxPort->currentText()); }

void TfrmMain::SetPortItems(const std::vector<std::string>& names, bool selectFirst) {
    SetPortBoxItems(*w_.cbxPort, names, selectFirst);
}

void TfrmMain::SetPortItemDescriptions(const std::vector<std::string>& descriptions) {
    SetPortBoxDescriptions(*w_.cbxPort, descriptions);
}

void TfrmMain::DropDownPortList() { DropDownList(*w_.cbxPort); }

void TfrmMain::SetProgress(int position) { w_.ProgressBar1->setValue(position); }

int TfrmMain::Progress() const { return w_.ProgressBar1->value(); }

void TfrmMain::SetHourglass(bool on) {
    // Over every window of the program, the modal ones included.
    if (on == hourglass_) return;
    if (on) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
    hourglass_ = on;
}

void TfrmMain::Beep() { QApplication::beep(); }

bool TfrmMain::Active() const { return QGuiApplication::applicationState() == Qt::ApplicationActive; }

void TfrmMain::RequestAttention() { QApplication::alert(this); }

void TfrmMain::AddReport(const std::string& text) {
    if (frmProtocol_ != nullptr) frmProtocol_->Add(text);
}

void TfrmMain::ClearReport() {
    if (frmProtocol_ != nullptr) frmProtocol_->Clear();
}

void TfrmMain::SetReportVisible(bool visible) {
    if (frmProtocol_ == nullptr) return;
    frmProtocol_->setVisible(visible);
    // Its frame is known only now that it is shown; placed before, it may sit off by the frame's width.
    DockReportWindow();
}

void TfrmMain::ShowMessage(const std::string& text) {
    if (frmMessage_ != nullptr) {
        const QRect outline = frameGeometry();
        frmMessage_->showMsg(text, outline.x(), outline.y(), outline.width(), outline.height());
        return;
    }
    // Before the message window exists: the toolkit's box, centred on the screen.
    QMessageBox box(QMessageBox::Information, QString::fromLatin1(app::kApplicationTitle), FromText(text),
                    QMessageBox::Ok);
    dialogs_.RunModal(box);
}

void TfrmMain::ShowOverview(const std::vector<app::OverviewRow>& rows) {
    if (frmInfo_ == nullptr) return;
    const QRect outline = frameGeometry();
    frmInfo_->Execute(rows, outline.x(), outline.y(), outline.height());
}

bool TfrmMain::AskYesNo(const std::string& question) { return dialogs_.Confirm(this, FromText(question)); }

std::optional<std::filesystem::path> TfrmMain::ChooseFile(const std::filesystem::path& initialPath) {
    const QString file = dialogs_.PickFile(this, FromPath(initialPath));
    if (file.isEmpty()) return std::nullopt;
    return ToPath(file);
}

std::filesystem::path TfrmMain::ProgramFile() const { return ToPath(QCoreApplication::applicationFilePath()); }

void TfrmMain::StartTimer(Timer timer, std::chrono::milliseconds delay, std::function<void()> expired) {
    if (timer == Timer::Restart && restartTimer_) return restartTimer_(delay, std::move(expired));
    expired_[timer] = std::move(expired);
    timers_[timer]->start(delay);
}

void TfrmMain::StopTimer(Timer timer) {
    timers_[timer]->stop();
    expired_[timer] = nullptr;
}

bool TfrmMain::event(QEvent* e) {
    if (e->type() == NotificationEvent::Kind()) {
        controller_.Notify(static_cast<NotificationEvent*>(e)->notification);
        return true;
    }
    return QMainWindow::event(e);
}

void TfrmMain::closeEvent(QCloseEvent* e) {
    if (controller_.CloseRequested()) {
        e->accept();
    } else {
        e->ignore();
    }
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
    if (firstIdleScheduled_) return;
    firstIdleScheduled_ = true;
    QTimer::singleShot(0, this, [this] { controller_.Idle(); });
}

}  // namespace vantrel::ui::qt
