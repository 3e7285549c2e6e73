// The main window without a logger, as only the toolkit can show it: clicks, closes and idle moments reach
// the controller, what the controller sets reaches the widgets, the layouts and where the secondary windows
// go. The rules themselves are the controller's, tested in tests/ui/main_window_controller_test.cpp.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QWindow>

#include "app/job_rules.h"
#include "engine/notify.h"
#include "engine/option_flags.h"
#include "firmware/catalogue.h"
#include "firmware/image_file.h"
#include "link/cancel.h"
#include "link/failures.h"
#include "tests/qt/window_fixture.h"
#include "ui/qt/message_window.h"
#include "ui/qt/overview_window.h"
#include "ui/qt/report_window.h"

namespace vantrel::ui::qt::testing {
namespace {

using engine::TCmd;

const QString kSaveQuestion = QStringLiteral(
    "Do you save your measurements ?\r\nDo you really continue without saving ?");
const QString kClearQuestion = QStringLiteral("This update clears all measurements!\r\nDo you really continue ?");
const QString kTitle = QStringLiteral("Vantrel Firmware Update");

class MainWindowTest : public WindowTest {
protected:
    // The controls the two states switch, as the operator sees them.
    std::string Controls() {
        const QCursor* cursor = QApplication::overrideCursor();
        QAction* fileVersion = Action("menInfoFile");
        auto flag = [](const char* name, bool on) { return std::string(name) + (on ? "+ " : "- "); };
        return flag("update", Button("btnProg")->isEnabled()) + flag("close", !Button("btnClose")->isHidden()) +
               flag("cancel", !Button("btnCancel")->isHidden()) + flag("port", PortBox()->isEnabled()) +
               flag("file", Button("btnFile")->isEnabled() && (fileVersion->isEnabled() || !fileVersion->isVisible())) +
               flag("overview", Action("menInfoFirmware")->isEnabled()) +
               flag("hourglass", cursor != nullptr && cursor->shape() == Qt::WaitCursor);
    }
    void ExpectIdle() {
        EXPECT_EQ(Controls(), "update+ close+ cancel- port+ file+ overview+ hourglass- ");
        EXPECT_FALSE(Window().Busy());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(Window().windowTitle(), kTitle);
    }
    void ExpectBusy() {
        EXPECT_EQ(Controls(), "update- close- cancel+ port- file- overview+ hourglass+ ");
        EXPECT_TRUE(Window().Busy());
    }
    // A readable image file with the given header values.
    QString ImageFile(const char* name, int cls, int platform, int print) {
        const QString path = files_.filePath(QString::fromLatin1(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("bootloader=3\r\nbootloader version=1\r\nclass=%1\r\nversionH=2\r\nversionL=7\r\n"
                                  "platform=%2\r\nprint=%3\r\ndate=01.02.2021 10:11:12\r\n"
                                  ":400200005654464966210106000F00133A413E40A63C924208FD5E2DB0125636001332C23F40CE8\r\n"
                                  ":00000001FF\r\n")
                       .arg(cls)
                       .arg(platform)
                       .arg(print)
                       .toLatin1());
        return path;
    }

    QTemporaryDir files_;
};

TEST_F(MainWindowTest, StartUpReachesTheWidgets) {
    struct Case {
        const char* what;
        std::vector<std::string> keys;
        bool internal;
        std::vector<app::PortEntry> ports;
        bool readInfoOnlyShown;
        const char* status;
        int fileMode;
        QString portText;
        QStringList items;
    };
    const app::PortEntry builtIn{"/dev/ttyS0", "/sys/devices/platform/serial8250/tty/ttyS0", ""};
    const Case cases[] = {
        {"operator",
         {},
         false,
         {UsbPort("/dev/ttyUSB3"), builtIn, UsbPort("/dev/ttyACM0")},
         false,
         "",
         0,
         "/dev/ttyUSB3",
         {"/dev/ttyUSB3", "/dev/ttyACM0"}},
        {"internal with files",
         {"F:+", "mf:+"},
         true,
         {UsbPort("/dev/ttyUSB0")},
         true,
         "F",
         2,
         "/dev/ttyUSB0",
         {"/dev/ttyUSB0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        engine::ResetOptionFlags();
        ports.entries = c.ports;
        Start(c.keys, c.internal);

        EXPECT_EQ(Window().objectName(), QStringLiteral("frmMain"));
        EXPECT_EQ(Window().windowTitle(), kTitle);
        EXPECT_EQ(Find<QMenu>("menInfo")->title(), QStringLiteral("Info v2021-12-01"));
        auto* readInfoOnly = Find<QCheckBox>("chkReadInfoOnly");
        EXPECT_EQ(!readInfoOnly->isHidden(), c.readInfoOnlyShown);
        EXPECT_FALSE(readInfoOnly->isChecked());
        EXPECT_EQ(Window().StatusText(), QString::fromLatin1(c.status));
        EXPECT_EQ(engine::FileMode, c.fileMode);
        EXPECT_EQ(PortBox()->currentText(), c.portText);
        QStringList items;
        for (int i = 0; i < PortBox()->count(); ++i) items << PortBox()->itemText(i);
        EXPECT_EQ(items, c.items);
        ExpectIdle();
        EXPECT_EQ(Window().frmProtocol()->Lines(), QStringList());

        EXPECT_EQ(ReplacedDialogText(DialogText::ConfirmCaption), QStringLiteral("Confirm"));
        EXPECT_EQ(ReplacedDialogText(DialogText::YesButton), QStringLiteral("Yes"));
        EXPECT_EQ(ReplacedDialogText(DialogText::NoButton), QStringLiteral("No"));
        Stop();
    }
}

TEST_F(MainWindowTest, FixedSizeNothingBelowThePanel) {
    Start();
    EXPECT_EQ(Window().minimumSize(), Window().maximumSize());
    EXPECT_FALSE(Window().windowFlags() & Qt::WindowMaximizeButtonHint);
    const int panel = Find<QWidget>("Panel1")->height();
    EXPECT_EQ(Window().centralWidget()->height(), panel);
    EXPECT_EQ(Window().height(), Window().menuBar()->height() + panel + Window().statusBar()->height());
}

// The status line shows what fits of a verdict; the window, and the message window laid inside it, keep
// their size whatever port the operator typed.
TEST_F(MainWindowTest, VerdictOfAnyLengthLeavesTheWindowAsItWas) {
    struct Case {
        const char* what;
        std::string port;
        bool fits;
    };
    const Case cases[] = {
        {"short", "/dev/ttyUSB0", true},
        {"port by id", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", false},
        {"5,000 characters", "/dev/" + std::string(5000, 'x'), false},
        {"looks like markup", "<h1>/dev/ttyUSB0</h1><img src=\"/dev/ttyUSB0\">" + std::string(80, 'y'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Start();
        ShowWindow();
        const QSize size = Window().size();
        const QRect outline = Window().frameGeometry();
        PortBox()->setEditText(QString::fromStdString(c.port));
        Button("btnProg")->click();
        Notify(engine::ncFailure, link::feNoPort);
        ProcessEvents();

        // The whole verdict stays with the status line, for its tooltip and the message window.
        ASSERT_EQ(dialogs.Messages().size(), 1u);
        const QString verdict = dialogs.Messages().front();
        const QString prefix = QStringLiteral("Aborted because serial port \"") + PortBox()->currentText().left(20);
        EXPECT_TRUE(verdict.startsWith(prefix)) << verdict.toStdString();
        EXPECT_EQ(Window().StatusText(), verdict);
        EXPECT_EQ(Window().statusBar()->toolTip(), verdict);
        EXPECT_EQ(Window().size(), size);
        EXPECT_EQ(Window().minimumSize(), size);
        EXPECT_EQ(Window().maximumSize(), size);
        EXPECT_LE(Window().minimumSizeHint().width(), size.width());

        // What shows is the verdict, or its beginning and its end, within the status line.
        auto* shown = Find<QLabel>("StatusText1");
        EXPECT_EQ(shown->textFormat(), Qt::PlainText);
        if (c.fits) {
            EXPECT_EQ(shown->text(), verdict);
        } else {
            EXPECT_TRUE(shown->text().startsWith(QStringLiteral("Aborted"))) << shown->text().toStdString();
            EXPECT_TRUE(shown->text().endsWith(verdict.right(12))) << shown->text().toStdString();
            EXPECT_TRUE(shown->text().contains(QChar(0x2026)));
        }
        EXPECT_LE(shown->fontMetrics().horizontalAdvance(shown->text()), shown->contentsRect().width());
        EXPECT_LE(shown->geometry().right(), Window().statusBar()->contentsRect().right());

        EXPECT_EQ(dialogs.modals.back().outline.width(), outline.width() - 20);
        dialogs.modals.clear();
        Stop();
    }
}

TEST_F(MainWindowTest, ConfirmationBoxReadsInEnglish) {
    Start();
    const auto box = MakeConfirmationBox(&Window(), kSaveQuestion);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Confirm"));
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box->button(QMessageBox::Yes)->text(), QStringLiteral("Yes"));
    EXPECT_EQ(box->button(QMessageBox::No)->text(), QStringLiteral("No"));
    EXPECT_EQ(box->text(), QStringLiteral("Do you save your measurements ?\nDo you really continue without saving ?"));

    // Escape answers No, as the title bar's close does.
    box->show();
    QTest::keyClick(box.get(), Qt::Key_Escape);
    EXPECT_EQ(box->clickedButton(), box->button(QMessageBox::No));
    EXPECT_FALSE(box->isVisible());
}

TEST_F(MainWindowTest, UpdateClickAsksThroughTheBoxAndStartsAJob) {
    struct Case {
        const char* what;
        std::vector<std::string> keys;
        bool internal;
        std::optional<QString> question;
        bool answer;
    };
    const Case cases[] = {
        {"operator, Yes", {}, false, kSaveQuestion, true},
        {"operator, No", {}, false, kSaveQuestion, false},
        {"internal asks nothing", {}, true, std::nullopt, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        engine::ResetOptionFlags();
        WorkerRequests().clear();
        dialogs.questions.clear();
        dialogs.answers = {c.answer};
        Start(c.keys, c.internal);
        PortBox()->setEditText(QStringLiteral("/dev/ttyUSB9"));
        Window().frmProtocol()->Add("from the last job");

        Button("btnProg")->click();

        if (c.question) {
            ASSERT_EQ(dialogs.questions.size(), 1u);
            EXPECT_EQ(dialogs.questions.front(), *c.question);
        } else {
            EXPECT_TRUE(dialogs.questions.empty());
        }
        if (c.answer) {
            ASSERT_EQ(WorkerRequests().size(), 1u);
            EXPECT_EQ(WorkerRequests().front().port, "/dev/ttyUSB9");
            EXPECT_EQ(Report(), std::vector<std::string>{"Start at serial port \"/dev/ttyUSB9\""});
            ExpectBusy();
        } else {
            // No leaves everything as it was, the last job's report included.
            EXPECT_TRUE(WorkerRequests().empty());
            EXPECT_EQ(Report(), std::vector<std::string>{"from the last job"});
            ExpectIdle();
        }
        Stop();
    }
}

TEST_F(MainWindowTest, StartJobAndSetIdleSwitchTheControls) {
    Start({}, true);
    PortBox()->setEditText(QStringLiteral("/dev/ttyACM2"));
    Find<QCheckBox>("chkReadInfoOnly")->setChecked(true);
    Find<QProgressBar>("ProgressBar1")->setValue(77);
    link::CancelRequested = true;

    Button("btnProg")->click();

    ExpectBusy();
    // The keys go on working: Cancel has the focus while busy, Update once idle.
    EXPECT_EQ(Window().focusWidget(), Button("btnCancel"));
    ASSERT_EQ(WorkerRequests().size(), 1u);
    const WorkerRequest& worker = WorkerRequests().front();
    EXPECT_EQ(worker.window, Window().WindowHandle());
    EXPECT_EQ(worker.cmd, TCmd::tCMD0);
    EXPECT_EQ(worker.port, "/dev/ttyACM2");
    EXPECT_FALSE(worker.cancelRequested);
    EXPECT_TRUE(worker.readInfoOnly);
    EXPECT_EQ(Find<QProgressBar>("ProgressBar1")->value(), 0);
    EXPECT_EQ(Window().StatusText(), QStringLiteral("Start at serial port \"/dev/ttyACM2\""));
    EXPECT_EQ(Window().statusBar()->toolTip(), Window().StatusText());
    // The time left has its own part at the right of the status bar; the status text keeps its place.
    auto* timeLeft = Find<QLabel>("TimeLeft1");
    EXPECT_FALSE(timeLeft->isHidden());
    EXPECT_TRUE(timeLeft->text().startsWith(QStringLiteral("at least "))) << timeLeft->text().toStdString();
    ShowWindow();
    EXPECT_GE(timeLeft->x(), Find<QLabel>("StatusText1")->geometry().right());

    // Progress shows in the bar and the title; Cancel only asks the worker to stop.
    Notify(engine::ncProgress, 42);
    EXPECT_EQ(Find<QProgressBar>("ProgressBar1")->value(), 42);
    EXPECT_EQ(Window().windowTitle(), QStringLiteral("42%"));
    Button("btnCancel")->click();
    Button("btnCancel")->click();
    EXPECT_TRUE(link::CancelRequested);
    ExpectBusy();

    // The worker's verdict brings the window back; the bar keeps its place after a failure.
    EXPECT_EQ(Window().focusWidget(), Button("btnCancel"));
    Notify(engine::ncFailure, link::feCancelled);
    ExpectIdle();
    EXPECT_EQ(Window().focusWidget(), Button("btnProg"));
    EXPECT_TRUE(timeLeft->isHidden());
    EXPECT_EQ(Find<QProgressBar>("ProgressBar1")->value(), 42);
    EXPECT_EQ(Window().StatusText(), QStringLiteral("Process cancelled!"));
    EXPECT_EQ(dialogs.Messages(), std::vector<QString>{QStringLiteral("Process cancelled!")});
    EXPECT_EQ(Report(), (std::vector<std::string>{"Start at serial port \"/dev/ttyACM2\"", "Progress 42%",
                                                  "Process cancelled!"}));
    // The job left its line in the operator's history, and nothing else changed for it.
    const std::vector<std::string> history = History();
    ASSERT_EQ(history.size(), 1u);
    EXPECT_NE(history[0].find(" port=/dev/ttyACM2 "), std::string::npos) << history[0];
    EXPECT_NE(history[0].find(" verdict=\"Process cancelled!\" status=20 "), std::string::npos) << history[0];
}

TEST_F(MainWindowTest, FileModeLayout) {
    for (const bool files : {false, true}) {
        SCOPED_TRACE(files);
        engine::ResetOptionFlags();
        Start(files ? std::vector<std::string>{"f:+"} : std::vector<std::string>{}, true);
        QPushButton* prog = Button("btnProg");
        QPushButton* file = Button("btnFile");
        const int closeWidth = Button("btnClose")->width();
        EXPECT_EQ(!file->isHidden(), files);
        EXPECT_EQ(Action("menInfoFile")->isVisible(), files);
        if (files) {
            EXPECT_EQ(prog->width(), closeWidth / 2);
            EXPECT_EQ(file->width(), closeWidth / 2);
            EXPECT_EQ(file->x(), prog->x() + prog->width() + 8);
        } else {
            EXPECT_EQ(prog->width(), closeWidth);
        }
        // Cancel takes Close's place.
        EXPECT_EQ(Button("btnCancel")->geometry(), Button("btnClose")->geometry());
        Stop();
    }
}

TEST_F(MainWindowTest, FileStartsWithoutAQuestionFromThePickedImage) {
    Start({"f:+"}, true);
    const QString image = ImageFile("image.txt", 26145, 15, 19);
    dialogs.file = image;
    Button("btnFile")->click();

    EXPECT_TRUE(dialogs.questions.empty());
    // The program's full path, wherever it was started from and however its name was typed.
    EXPECT_EQ(dialogs.pickedFrom, std::vector<QString>{QCoreApplication::applicationFilePath()});
    EXPECT_TRUE(QFileInfo(dialogs.pickedFrom.front()).isAbsolute());
    ASSERT_EQ(WorkerRequests().size(), 1u);
    ASSERT_NE(WorkerRequests()[0].file, nullptr);
    EXPECT_EQ(WorkerRequests()[0].file->lines.size(), 2u);
    ExpectBusy();
    // The image belongs to the job now.
    EXPECT_FALSE(Button("btnFile")->isEnabled());
    EXPECT_FALSE(Action("menInfoFile")->isEnabled());
}

TEST_F(MainWindowTest, CloseAsksOnlyWhileAJobRuns) {
    enum class Route { TitleBar, CloseButton, ExitMenu };
    struct Case {
        const char* what;
        Route route;
        bool busy;
        bool answer;
        bool closed;
    };
    const Case cases[] = {
        {"idle, title bar", Route::TitleBar, false, true, true},
        {"idle, Close", Route::CloseButton, false, true, true},
        {"idle, Exit", Route::ExitMenu, false, true, true},
        {"busy, title bar, No", Route::TitleBar, true, false, false},
        {"busy, Exit, No", Route::ExitMenu, true, false, false},
        {"busy, title bar, Yes", Route::TitleBar, true, true, true},
        {"busy, Exit, Yes", Route::ExitMenu, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        engine::ResetOptionFlags();
        Start({}, true);
        Window().show();
        if (c.busy) Button("btnProg")->click();
        link::CancelRequested = false;
        dialogs.questions.clear();
        dialogs.answers = {c.answer};

        switch (c.route) {
            case Route::TitleBar: Window().close(); break;
            case Route::CloseButton: Button("btnClose")->click(); break;
            case Route::ExitMenu: Action("menFileExit")->trigger(); break;
        }

        if (c.busy) {
            EXPECT_EQ(dialogs.questions, std::vector<QString>{QStringLiteral(
                                             "The update is not finished!\r\nDo you really close the program ?")});
        } else {
            EXPECT_TRUE(dialogs.questions.empty());
        }
        EXPECT_EQ(Window().isVisible(), !c.closed);
        // Yes while busy lets the running job stop at its next transfer; No leaves it alone.
        EXPECT_EQ(link::CancelRequested.load(), c.busy && c.answer);
        if (c.busy && c.closed) {
            // The cancelled job's end shows nothing: the program is on its way out.
            Notify(engine::ncFailure, link::feCancelled);
            EXPECT_TRUE(dialogs.Messages().empty());
        }
        Stop();
    }
}

TEST_F(MainWindowTest, ReportWindowFollowsTheMainWindow) {
    Start({}, true);
    ShowWindow();
    TfrmProtocol* report = Window().frmProtocol();
    // Frame to frame, as the operator sees them; under a window manager the frames arrive a moment after
    // the windows are shown, hence the waits.
    auto docked = [&] {
        const QRect outline = Window().frameGeometry();
        return report->frameGeometry().topLeft() == QPoint(outline.left(), outline.top() + outline.height());
    };
    EXPECT_TRUE(ProcessUntil(docked));

    Window().move(60, 70);
    ASSERT_TRUE(ProcessUntil([&] { return Window().pos() == QPoint(60, 70); }));
    EXPECT_TRUE(ProcessUntil(docked));

    // The report may be moved alone until the main window moves next.
    report->move(400, 20);
    ASSERT_TRUE(ProcessUntil([&] { return report->pos() == QPoint(400, 20); }));
    EXPECT_FALSE(docked());
    Window().move(90, 30);
    ASSERT_TRUE(ProcessUntil([&] { return Window().pos() == QPoint(90, 30); }));
    EXPECT_TRUE(ProcessUntil(docked));
}

TEST_F(MainWindowTest, ReportIsSeenFromTheFirstIdleMomentOnlyInInternalMode) {
    for (const bool internal : {false, true}) {
        SCOPED_TRACE(internal);
        engine::ResetOptionFlags();
        Start({}, internal);
        Window().show();
        EXPECT_FALSE(Window().frmProtocol()->isVisible());
        ProcessEvents();
        EXPECT_EQ(Window().frmProtocol()->isVisible(), internal);
        // Decided once: showing the window again changes nothing.
        Window().frmProtocol()->setVisible(!internal);
        Window().hide();
        Window().show();
        ProcessEvents();
        EXPECT_EQ(Window().frmProtocol()->isVisible(), !internal);
        Stop();
    }
}

// The window has no close button of its own, but window managers add one.
TEST_F(MainWindowTest, ReportWindowStaysWhenTheWindowManagerClosesIt) {
    Start({}, true);
    ShowWindow();
    TfrmProtocol* report = Window().frmProtocol();
    ASSERT_TRUE(report->isVisible());

    ASSERT_NE(report->windowHandle(), nullptr);
    report->windowHandle()->close();
    ProcessEvents();
    EXPECT_TRUE(report->isVisible());

    Button("btnProg")->click();
    ProcessEvents();
    EXPECT_TRUE(report->isVisible());
    EXPECT_EQ(Report(), std::vector<std::string>{"Start at serial port \"\""});
    Notify(engine::ncFailure, link::feCancelled);

    // Quitting closes every window that is still open; the report must let the program end.
    Window().close();
    EXPECT_TRUE(report->windowHandle()->close());
    EXPECT_FALSE(report->isVisible());
}

TEST_F(MainWindowTest, MessageWindowLiesInsideTheMainWindow) {
    Start();
    ShowWindow();
    const QRect outline = Window().frameGeometry();
    const std::string longText(400, 'x');
    Window().ShowMessage("Process cancelled!");
    Window().ShowMessage(longText);

    ASSERT_EQ(dialogs.modals.size(), 2u);
    const ModalRun& shortRun = dialogs.modals[0];
    EXPECT_EQ(shortRun.window, QStringLiteral("frmMessage"));
    EXPECT_EQ(shortRun.title, QStringLiteral("Information"));
    EXPECT_EQ(shortRun.text, QStringLiteral("Process cancelled!"));
    EXPECT_EQ(shortRun.outline.left(), outline.left() + 10);
    EXPECT_EQ(shortRun.outline.width(), outline.width() - 20);
    EXPECT_EQ(shortRun.outline.top(), outline.top() + outline.height() - shortRun.outline.height() - 10);
    // A long text wraps inside; the window keeps its size.
    EXPECT_EQ(dialogs.modals[1].outline, shortRun.outline);
    EXPECT_EQ(dialogs.modals[1].text, QString::fromStdString(longText));
}

// A reason longer than the window, a path without blanks included, wraps and scrolls: none of it is cut.
TEST_F(MainWindowTest, MessageWindowWrapsAndScrollsALongReason) {
    Start();
    ShowWindow();
    const std::string reason = "The image file cannot be read: /home/operator/" + std::string(120, 'p') +
                               "/badheader_missing_class.txt: header field \"class\" missing in line 3 of 8";
    bool scrolls = false;
    bool cut = true;
    dialogs.whileModal = [&](QDialog& dialog) {
        auto* memo = dialog.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
        ASSERT_NE(memo, nullptr);
        ProcessEvents();  // the text is laid out when the window is drawn
        scrolls = memo->verticalScrollBar()->isVisible() && memo->verticalScrollBar()->maximum() > 0;
        cut = memo->horizontalScrollBar()->isVisible() || memo->horizontalScrollBar()->maximum() > 0;
    };
    Window().ShowMessage("Process cancelled!");
    Window().ShowMessage(reason);
    EXPECT_TRUE(scrolls);
    EXPECT_FALSE(cut);
    ASSERT_EQ(dialogs.modals.size(), 2u);
    EXPECT_EQ(dialogs.modals[1].text, QString::fromStdString(reason));
    EXPECT_EQ(dialogs.modals[1].outline, dialogs.modals[0].outline);
}

TEST_F(MainWindowTest, MessageBeforeTheMessageWindowExistsUsesTheToolkitsBox) {
    TfrmMain window(dialogs, ports);
    window.ShowMessage("early");
    ASSERT_EQ(dialogs.modals.size(), 1u);
    EXPECT_EQ(dialogs.modals.front().text, QStringLiteral("early"));
    EXPECT_NE(dialogs.modals.front().window, QStringLiteral("frmMessage"));
}

TEST_F(MainWindowTest, OverviewListsTheImagesAndFitsItsColumns) {
    Start({"f:+"}, true);
    ShowWindow();
    // A file header whose codes no table names: the names show as "?".
    dialogs.file = ImageFile("unnamed.txt", 4711, 222, 333);
    std::vector<QStringList> rows;
    std::vector<int> widths;
    std::vector<int> needed;
    QSize client;
    dialogs.whileModal = [&](QDialog& dialog) {
        auto* info = qobject_cast<TfrmInfo*>(&dialog);
        ASSERT_NE(info, nullptr);
        QTreeWidget* list = info->List();
        for (int r = 0; r < list->topLevelItemCount(); ++r) {
            QStringList row;
            for (int c = 0; c < list->columnCount(); ++c) row << list->topLevelItem(r)->text(c);
            rows.push_back(row);
        }
        for (int c = 0; c < list->columnCount(); ++c) {
            widths.push_back(list->columnWidth(c));
            const int content = static_cast<QAbstractItemView*>(list)->sizeHintForColumn(c);
            needed.push_back(std::max(content, list->header()->sectionSizeHint(c)) + 5);
        }
        client = dialog.size();
    };

    Action("menInfoFile")->trigger();

    ASSERT_EQ(dialogs.modals.size(), 1u);
    const ModalRun& run = dialogs.modals.front();
    EXPECT_EQ(run.window, QStringLiteral("frmInfo"));
    EXPECT_EQ(run.title, QStringLiteral("Overview"));
    const QRect outline = Window().frameGeometry();
    EXPECT_EQ(run.outline.topLeft(), outline.topLeft());
    EXPECT_EQ(run.outline.height(), outline.height());

    // The file's header first, then the built-in images from the last to the first.
    std::vector<QStringList> expected;
    for (const app::OverviewRow& row : app::OverviewRows(firmware::LoadFileImageHeader(dialogs.file.toStdString()))) {
        QStringList cells;
        for (const std::string& cell : row) cells << QString::fromStdString(cell);
        expected.push_back(cells);
    }
    EXPECT_EQ(rows, expected);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(firmware::FirmwareImageCount() + 1));
    EXPECT_EQ(rows.front(), (QStringList{"?", "2.07", "?", "?", "01.02.2021 10:11:12", "3.1"}));

    ASSERT_EQ(widths.size(), app::kOverviewColumns.size());
    int sum = 0;
    for (std::size_t c = 0; c < widths.size(); ++c) {
        EXPECT_GE(widths[c], needed[c]) << app::kOverviewColumns[c];
        sum += widths[c];
    }
    EXPECT_EQ(client.width(), sum + 30);

    // The next Update looks among the built-in images again.
    Button("btnProg")->click();
    ASSERT_FALSE(WorkerRequests().empty());
    EXPECT_EQ(WorkerRequests().back().file, nullptr);
}

TEST_F(MainWindowTest, NotificationsForAClosedWindowGoNowhere) {
    Start();
    const std::int32_t handle = Window().WindowHandle();
    EXPECT_TRUE(engine::PostNotification(handle, engine::ncProgress, 5));
    Stop();
    EXPECT_FALSE(engine::PostNotification(handle, engine::ncDone, 0));
    ProcessEvents();
}

}  // namespace
}  // namespace vantrel::ui::qt::testing
