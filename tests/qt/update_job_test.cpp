// Whole jobs through the window against the simulated logger on a virtual clock: the verdict as the
// operator sees it, a cancel, and the automatic restart after a communication failure.
#include <QApplication>
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "link/cancel.h"
#include "link/clock.h"
#include "link/serial.h"
#include "sim/inprocess_serial.h"
#include "tests/qt/window_fixture.h"

namespace vantrel::ui::qt::testing {
namespace {

using namespace std::chrono_literals;

const QString kDone = QStringLiteral("Update Vantrel Base V1.06 succesfully completed.");
const QString kCancelled = QStringLiteral("Process cancelled!");
const QString kLeftInBootloader = QStringLiteral(
    "The logger is left in its bootloader without a startable firmware; another update brings it back.");
const std::string kRetry = "Repeat update because communication error!";

// Holds the worker inside one write until the test lets it go, so the test can act at a known point of
// a job that otherwise runs in milliseconds.
class GatedSerial final : public link::SerialBackend {
public:
    // Counts the writes that pass counted (every write by default) and holds the worker in the holdAt-th.
    using Counted = std::function<bool(const std::uint8_t* data, std::uint32_t count)>;
    GatedSerial(link::SerialBackend& inner, int holdAt, Counted counted = {})
        : inner_(inner), holdAt_(holdAt), counted_(std::move(counted)) {}
    ~GatedSerial() override { Release(); }

    bool Reached() {
        std::lock_guard lock(mutex_);
        return reached_;
    }
    void Release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

    link::PortHandle Open(const std::string& portName, std::int32_t baudRate) override {
        return inner_.Open(portName, baudRate);
    }
    bool ClearCommError(link::PortHandle port) override { return inner_.ClearCommError(port); }
    bool PurgeComm(link::PortHandle port, std::uint32_t flags) override { return inner_.PurgeComm(port, flags); }
    bool WriteFile(link::PortHandle port, const std::uint8_t* data, std::uint32_t count,
                   std::uint32_t& written) override {
        {
            std::unique_lock lock(mutex_);
            if ((!counted_ || counted_(data, count)) && ++writes_ == holdAt_) {
                reached_ = true;
                changed_.wait(lock, [this] { return released_; });
            }
        }
        return inner_.WriteFile(port, data, count, written);
    }
    bool ReadFile(link::PortHandle port, std::uint8_t* buffer, std::uint32_t count, std::uint32_t& read) override {
        return inner_.ReadFile(port, buffer, count, read);
    }
    bool CloseHandle(link::PortHandle port) override { return inner_.CloseHandle(port); }
    link::OpenFailure LastOpenFailure() const override { return inner_.LastOpenFailure(); }

private:
    link::SerialBackend& inner_;
    const int holdAt_;
    const Counted counted_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int writes_ = 0;
    bool reached_ = false;
    bool released_ = false;
};

class UpdateJobTest : public WindowTest {
protected:
    ~UpdateJobTest() override { Stop(); }

    // The logger on the line; holdAtWrite > 0 holds the worker at that write (of those counted).
    void Connect(sim::LoggerConfig config = {}, int holdAtWrite = 0, GatedSerial::Counted counted = {}) {
        serial_.emplace(std::move(config), clock_);
        useClock_.emplace(clock_);
        if (holdAtWrite > 0) {
            gate_.emplace(*serial_, holdAtWrite, std::move(counted));
            useSerial_.emplace(*gate_);
        } else {
            useSerial_.emplace(*serial_);
        }
    }

    // Operator mode, the port typed, the question answered Yes, Update pressed.
    void StartUpdate(const char* port = "SIM1") {
        Start({}, false, true);
        PortBox()->setEditText(QString::fromLatin1(port));
        Button("btnProg")->click();
    }

    bool Ended() {
        return ProcessUntil([&] { return !Window().Busy(); });
    }
    int Bar() { return Find<QProgressBar>("ProgressBar1")->value(); }
    // The verdict in all three places, and the window idle; what it leaves unsaid (sentence) follows it in
    // the message window and the report.
    void ExpectVerdict(const QString& verdict, const QString& sentence = {}) {
        EXPECT_EQ(dialogs.Messages(),
                  std::vector<QString>{sentence.isEmpty() ? verdict : verdict + QStringLiteral("\n") + sentence});
        EXPECT_EQ(Window().StatusText(), verdict);
        ASSERT_FALSE(Report().empty());
        EXPECT_EQ(Report().back(), (sentence.isEmpty() ? verdict : sentence).toStdString());
        EXPECT_FALSE(Window().Busy());
        EXPECT_FALSE(Button("btnClose")->isHidden());
        EXPECT_TRUE(Button("btnCancel")->isHidden());
        EXPECT_EQ(Window().windowTitle(), QStringLiteral("Vantrel Firmware Update"));
        // However many workers the job took, the hourglass is gone.
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }

    link::VirtualClock clock_;
    std::optional<sim::InProcessSerial> serial_;
    std::optional<GatedSerial> gate_;
    std::optional<link::ScopedClock> useClock_;
    std::optional<link::ScopedSerialBackend> useSerial_;
};

TEST_F(UpdateJobTest, WholeUpdateEndsInTheVerdict) {
    Connect();
    StartUpdate();
    ASSERT_TRUE(Ended());

    ExpectVerdict(kDone);
    EXPECT_EQ(Bar(), 100);
    const std::vector<std::string> report = Report();
    EXPECT_EQ(report.front(), "Start at serial port \"SIM1\"");
    EXPECT_NE(std::find(report.begin(), report.end(), "Progress 50%"), report.end());
    EXPECT_NE(std::find(report.begin(), report.end(), "Vector table is programmed."), report.end());
    serial_->Inspect([](sim::LoggerModel& logger) {
        EXPECT_EQ(logger.CurrentMode(), sim::Mode::Application);
        EXPECT_EQ(logger.ApplicationStarts(), 1);
        return 0;
    });
}

TEST_F(UpdateJobTest, CancelStopsTheJobAtItsNextTransfer) {
    Connect({}, 300);
    StartUpdate();
    ASSERT_TRUE(ProcessUntil([&] { return gate_->Reached(); }));
    Button("btnCancel")->click();
    ProcessEvents();  // what the worker posted before the hold is handled; the job is not over
    EXPECT_TRUE(Window().Busy());

    gate_->Release();
    ASSERT_TRUE(Ended());
    ExpectVerdict(kCancelled, kLeftInBootloader);
    EXPECT_LT(Bar(), 100);
}

// The record in flight when the operator cancels is the one whose echo is wrong: the repeat the error
// calls for must not erase and program the logger again.
TEST_F(UpdateJobTest, CancelDuringTheTransferThatEndsInAProgrammingErrorStopsTheJob) {
    sim::LoggerConfig config;
    config.faults.faults.push_back(
        {.kind = sim::FaultKind::WrongEcho, .request = sim::RequestKind::DataRecord, .nth = 7, .always = true});
    // Data records are ":LLAAAA00...": record type 00 at characters 7 and 8.
    Connect(config, 7, [](const std::uint8_t* data, std::uint32_t count) {
        return count > 9 && data[0] == ':' && data[7] == '0' && data[8] == '0';
    });
    StartUpdate();
    ASSERT_TRUE(ProcessUntil([&] { return gate_->Reached(); }));
    Button("btnCancel")->click();
    gate_->Release();
    ASSERT_TRUE(Ended());

    ExpectVerdict(kCancelled, kLeftInBootloader);
    const std::vector<std::string> report = Report();
    EXPECT_EQ(std::count(report.begin(), report.end(), "Repeat because programming error!"), 1);
    EXPECT_EQ(serial_->Trace().Matching("record: srBeginProgramming").size(), 1u);
    serial_->Inspect([](sim::LoggerModel& logger) {
        EXPECT_EQ(logger.CurrentMode(), sim::Mode::Bootloader);
        return 0;
    });
}

TEST_F(UpdateJobTest, CommunicationRestartKeepsTheWindowBusyAndHonoursACancelDuringTheWait) {
    for (const bool cancelDuringWait : {false, true}) {
        SCOPED_TRACE(cancelDuringWait);
        // The first job's five identify attempts go unanswered; the restarted job finds the logger.
        sim::LoggerConfig config;
        for (int nth = 1; nth <= 5; ++nth) {
            config.faults.faults.push_back(
                {.kind = sim::FaultKind::NoReply, .request = sim::RequestKind::Identify, .nth = nth});
        }
        Connect(config);
        dialogs.modals.clear();
        std::vector<std::chrono::milliseconds> waits;
        std::function<void()> pending;
        Start({}, false, true);
        Window().SetRestartTimer([&](std::chrono::milliseconds delay, std::function<void()> restart) {
            waits.push_back(delay);
            pending = std::move(restart);
        });
        PortBox()->setEditText(QStringLiteral("SIM1"));
        Button("btnProg")->click();

        ASSERT_TRUE(ProcessUntil([&] { return static_cast<bool>(pending); }));
        EXPECT_EQ(waits, std::vector<std::chrono::milliseconds>{1500ms});
        EXPECT_EQ(Window().StatusText().toStdString(), kRetry);
        EXPECT_EQ(Report().back(), kRetry);
        EXPECT_TRUE(dialogs.Messages().empty());
        // Busy all through the wait: Cancel is there to be pressed.
        EXPECT_TRUE(Window().Busy());
        ASSERT_FALSE(Button("btnCancel")->isHidden());
        if (cancelDuringWait) Button("btnCancel")->click();

        pending();
        ASSERT_TRUE(Ended());
        ExpectVerdict(cancelDuringWait ? kCancelled : kDone);
        // The same job again on the same port, its report kept.
        const std::vector<std::string> report = Report();
        EXPECT_EQ(std::count(report.begin(), report.end(), "Start at serial port \"SIM1\""), 2);
        Stop();
        useSerial_.reset();
        useClock_.reset();
        serial_.reset();
    }
}

TEST_F(UpdateJobTest, PortThatDoesNotExist) {
    StartUpdate("/dev/vantrel-test-no-such-port");
    ASSERT_TRUE(Ended());
    // The reason the console gives follows the verdict.
    ExpectVerdict(QStringLiteral("Aborted because serial port \"/dev/vantrel-test-no-such-port\" is not ready!"),
                  QStringLiteral("No such device: /dev/vantrel-test-no-such-port: No such file or directory."));
}

}  // namespace
}  // namespace vantrel::ui::qt::testing
