// The desktop window under test: started as the program starts it, with the operator's answers, file
// picks and modal windows supplied by the test, a port list of the test's choosing, and internal mode
// switched by a settings file of its own.
#pragma once

#include <gtest/gtest.h>

#include <QDialog>
#include <QRect>
#include <QString>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/port_list.h"
#include "engine/comm_thread.h"
#include "engine/job_request.h"
#include "ui/qt/main_window.h"
#include "ui/qt/operator_dialogs.h"

class QAction;
class QComboBox;
class QPushButton;
class QCheckBox;
class QProgressBar;

// Failures show texts as text.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace vantrel::ui::qt::testing {

// A modal window as it was when it was shown.
struct ModalRun {
    QString window;  // object name: frmMessage, frmInfo, or empty for the toolkit's message box
    QString title;
    QString text;
    QRect outline;
};

class FakeDialogs final : public OperatorDialogs {
public:
    bool Confirm(QWidget* parent, const QString& question) override;
    QString PickFile(QWidget* parent, const QString& initialPath) override;
    int RunModal(QDialog& dialog) override;

    // The texts the message window showed, in order.
    std::vector<QString> Messages() const;

    std::deque<bool> answers;  // taken one per question; Yes once they run out
    std::vector<QString> questions;
    QString file;  // what the open-file dialog returns
    std::vector<QString> pickedFrom;
    std::vector<ModalRun> modals;
    std::function<void(QDialog&)> whileModal;
};

class FakePorts final : public app::PortSource {
public:
    std::vector<app::PortEntry> Enumerate() override { return entries; }
    std::vector<app::PortEntry> entries;
};

// Waits until a shown window's frame is known: under a window manager it arrives a moment after the window
// is shown (briefly: without a window manager none ever comes).
void WaitForFrame(QWidget& window);

// A port a logger can be on, as the udev source reports one.
app::PortEntry UsbPort(const std::string& name);

// Workers as the window creates them, without threads: what it asked for, and nothing runs.
struct WorkerRequest {
    std::int32_t window;
    engine::TCmd cmd;
    std::string port;
    bool cancelRequested;  // the cancel request at the moment the worker was created
    bool readInfoOnly;
    std::shared_ptr<const firmware::FileImage> file;
};
std::vector<WorkerRequest>& WorkerRequests();
engine::TCommThread* RecordingWorker(const engine::JobRequest& request, engine::TCmd cmd,
                                     std::shared_ptr<engine::JobOutcome> outcome);

class WindowTest : public ::testing::Test {
protected:
    WindowTest();
    ~WindowTest() override;

    // Starts the program with the keys after the program path; internal switches the per-user setting.
    // Workers are recorded, not run, unless realWorkers.
    TfrmMain& Start(std::vector<std::string> keys = {}, bool internal = false, bool realWorkers = false);
    TfrmMain& Window() { return *window_; }
    // Shows the main window and lets it settle: under a window manager its frame arrives a moment later.
    void ShowWindow();
    // Closes the program: the window goes, and every worker it started has ended afterwards.
    void Stop();

    template <typename T>
    T* Find(const char* name) {
        T* found = window_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QPushButton* Button(const char* name);
    QAction* Action(const char* name);
    QComboBox* PortBox();

    // The report's lines without their time stamps.
    std::vector<std::string> Report();
    // The lines of the operator's history of jobs.
    static std::vector<std::string> History();
    // Presents a notification the way a worker sends one, and lets the window handle it.
    void Notify(std::uint32_t code, std::int32_t value);
    // Runs the event loop until done() holds; false when it did not within the (generous) bound.
    static bool ProcessUntil(const std::function<bool()>& done);
    static void ProcessEvents();

    FakeDialogs dialogs;
    FakePorts ports;

private:
    QTemporaryDir configHome_;
    std::optional<QByteArray> savedConfigHome_;
    std::optional<QByteArray> savedStateHome_;
    std::unique_ptr<TfrmMain> window_;
};

}  // namespace vantrel::ui::qt::testing
