#include "tests/qt/window_fixture.h"

#include <fstream>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <fstream>

#include "app/job_record.h"
#include "app/options.h"
#include "engine/notify.h"
#include "engine/option_flags.h"
#include "engine/process_state.h"
#include "engine/vantrel_comm_thread.h"
#include "link/cancel.h"
#include "ui/qt/message_window.h"
#include "ui/qt/report_window.h"
#include "ui/qt/startup.h"

namespace vantrel::ui::qt::testing {

void WaitForFrame(QWidget& window) {
    constexpr int kFrameWaitMs = 2000;
    // Without a window manager no frame ever appears; the geometry is then the frame, so neither wait's
    // outcome matters.
    (void)QTest::qWaitForWindowExposed(&window);
    (void)QTest::qWaitFor([&] { return window.frameGeometry() != window.geometry(); }, kFrameWaitMs);
}

bool FakeDialogs::Confirm(QWidget*, const QString& question) {
    questions.push_back(question);
    if (answers.empty()) return true;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

QString FakeDialogs::PickFile(QWidget*, const QString& initialPath) {
    pickedFrom.push_back(initialPath);
    return file;
}

int FakeDialogs::RunModal(QDialog& dialog) {
    // Shown, not run, so that the outline is the frame the operator would see, once it has arrived.
    dialog.show();
    WaitForFrame(dialog);
    ModalRun run{dialog.objectName(), dialog.windowTitle(), {}, dialog.frameGeometry()};
    if (auto* message = qobject_cast<TfrmMessage*>(&dialog)) run.text = message->Text();
    if (auto* box = qobject_cast<QMessageBox*>(&dialog)) run.text = box->text();
    modals.push_back(run);
    if (whileModal) whileModal(dialog);
    dialog.hide();
    return QDialog::Accepted;
}

std::vector<QString> FakeDialogs::Messages() const {
    std::vector<QString> texts;
    for (const ModalRun& run : modals) {
        if (run.window == QLatin1String("frmMessage")) texts.push_back(run.text);
    }
    return texts;
}

app::PortEntry UsbPort(const std::string& name) { return {name, "/sys/devices/usb1/" + name, "usb-serial"}; }

std::vector<WorkerRequest>& WorkerRequests() {
    static std::vector<WorkerRequest> requests;
    return requests;
}

engine::TCommThread* RecordingWorker(const engine::JobRequest& request, engine::TCmd cmd,
                                     std::shared_ptr<engine::JobOutcome>) {
    WorkerRequests().push_back(
        {request.FhWindow, cmd, request.FsPort, link::CancelRequested.load(), request.ReadInfoOnly, request.FileImage});
    // Only ever compared with nullptr: the window keeps a worker as its busy marker and never touches it.
    static char marker;
    return reinterpret_cast<engine::TCommThread*>(&marker);
}

WindowTest::WindowTest() {
    engine::ResetProcessState();
    WorkerRequests().clear();
    if (qEnvironmentVariableIsSet("XDG_CONFIG_HOME")) savedConfigHome_ = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", configHome_.path().toLocal8Bit());
    // The window's history of jobs goes beside the settings, not into the history of whoever runs the tests.
    if (qEnvironmentVariableIsSet("XDG_STATE_HOME")) savedStateHome_ = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", (configHome_.path() + QStringLiteral("/state")).toLocal8Bit());
}

WindowTest::~WindowTest() {
    Stop();
    engine::ResetProcessState();
    app::SetCommandLine({});
    if (savedConfigHome_) {
        qputenv("XDG_CONFIG_HOME", *savedConfigHome_);
    } else {
        qunsetenv("XDG_CONFIG_HOME");
    }
    if (savedStateHome_) {
        qputenv("XDG_STATE_HOME", *savedStateHome_);
    } else {
        qunsetenv("XDG_STATE_HOME");
    }
}

std::vector<std::string> WindowTest::History() {
    std::ifstream in(app::UserHistoryPath());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void WindowTest::Stop() {
    window_.reset();
    engine::WaitForWorkersToEnd();
}

TfrmMain& WindowTest::Start(std::vector<std::string> keys, bool internal, bool realWorkers) {
    if (internal) {
        QDir(configHome_.path()).mkpath(QStringLiteral("Velmora"));
        QFile settings(configHome_.filePath(QStringLiteral("Velmora/Qel.conf")));
        EXPECT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("[General]\nintern=7204\n");
    }
    keys.insert(keys.begin(), "/opt/vantrel/bin/vantrel-update");
    window_ = StartProgram(keys, dialogs, ports);
    engine::CommThreadClass = realWorkers ? &engine::CreateCommThread<engine::TVantrelCommThread> : &RecordingWorker;
    return *window_;
}

QPushButton* WindowTest::Button(const char* name) { return Find<QPushButton>(name); }

QAction* WindowTest::Action(const char* name) { return Find<QAction>(name); }

QComboBox* WindowTest::PortBox() { return Find<QComboBox>("cbxPort"); }

std::vector<std::string> WindowTest::Report() {
    std::vector<std::string> lines;
    for (const QString& line : window_->frmProtocol()->Lines()) {
        // "hh-nn-ss -> " is 12 characters.
        lines.push_back(line.mid(12).toStdString());
    }
    return lines;
}

void WindowTest::Notify(std::uint32_t code, std::int32_t value) {
    ASSERT_TRUE(engine::PostNotification(window_->WindowHandle(), code, value));
    ProcessEvents();
}

bool WindowTest::ProcessUntil(const std::function<bool()>& done) {
    // Jobs run on the virtual clock and take milliseconds; the bound only stops a broken one hanging.
    return QTest::qWaitFor(done, 60000);
}

void WindowTest::ShowWindow() {
    window_->show();
    WaitForFrame(*window_);
    ProcessEvents();
}

void WindowTest::ProcessEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

}  // namespace vantrel::ui::qt::testing
