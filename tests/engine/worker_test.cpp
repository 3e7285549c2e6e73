#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

#include "engine/comm_thread.h"
#include "engine/notify.h"
#include "link/cancel.h"
#include "link/failures.h"
#include "tests/support/scripted_serial.h"

namespace vantrel::engine {
namespace {

using testing::Bytes;
using testing::ScriptedSerial;
using Op = ScriptedSerial::Op;
using namespace std::chrono_literals;

// Records every notification and, for the final one, whether the port was already closed then.
class RecordingTarget final : public NotificationTarget {
public:
    explicit RecordingTarget(const ScriptedSerial& serial) : serial_(serial) {}
    void Post(const Notification& n) override {
        if (IsFinalNotification(n.code)) portOpenAtFinal = serial_.OpenHandles();
        queue.Post(n);
    }
    NotificationQueue queue;
    int portOpenAtFinal = -1;

private:
    const ScriptedSerial& serial_;
};

// A device worker whose procedure a test supplies.
class ScriptedWorker final : public TCommThread {
public:
    using TCommThread::TCommThread;
    static inline std::function<void(ScriptedWorker&)> procedure;
    void ExecuteUpdate() override {
        if (procedure) procedure(*this);
    }
};

class WorkerTest : public ::testing::Test {
protected:
    WorkerTest()
        : serial(&clock),
          useClock(clock),
          useSerial(serial),
          target(std::make_shared<RecordingTarget>(serial)),
          registration(target) {
        link::CancelRequested = false;
    }
    ~WorkerTest() override {
        WaitForWorkersToEnd();
        ScriptedWorker::procedure = nullptr;
        link::CancelRequested = false;
    }

    // Runs one job and returns every notification it posted, up to and including its final one.
    std::vector<Notification> RunJob(TCommThreadClass workerClass, TCmd cmd = TCmd::tCMD0) {
        JobRequest request;
        request.FsPort = "COM3";
        request.FhWindow = registration.handle();
        workerClass(request, cmd, nullptr);
        std::vector<Notification> seen;
        while (auto n = target->queue.Wait(10s)) {
            seen.push_back(*n);
            if (IsFinalNotification(n->code)) break;
        }
        WaitForWorkersToEnd();
        EXPECT_FALSE(target->queue.TryPop()) << "nothing may follow the final notification";
        return seen;
    }

    link::VirtualClock clock;
    ScriptedSerial serial;
    link::ScopedClock useClock;
    link::ScopedSerialBackend useSerial;
    std::shared_ptr<RecordingTarget> target;
    ScopedNotificationTarget registration;
};

TEST_F(WorkerTest, PortThatWillNotOpenGivesOneFailureAndWritesNothing) {
    serial.FailOpen({link::OpenFailureKind::NotFound, 2, "COM3"});
    EXPECT_EQ(RunJob(&CreateCommThread<TCommThread>), (std::vector<Notification>{{ncFailure, link::feNoPort}}));
    EXPECT_EQ(serial.CountOf(Op::Write), 0);
}

TEST_F(WorkerTest, BaseWorkerSendsTwoZeroFramesAndEndsDone) {
    EXPECT_EQ(RunJob(&CreateCommThread<TCommThread>), (std::vector<Notification>{{ncDone, 0}}));
    EXPECT_EQ(serial.Writes(), std::vector<Bytes>(2, Bytes(8, 0)));
    EXPECT_EQ(serial.openedName, "COM3");
    EXPECT_EQ(clock.Sleeps(), std::vector<link::Micros>(2, 100ms));
    EXPECT_EQ(target->portOpenAtFinal, 0);
}

TEST_F(WorkerTest, FinalNotificationByOutcome) {
    struct Case {
        const char* what;
        std::function<void(ScriptedWorker&)> procedure;
        TCmd cmd;
        Notification final;
    };
    const Case cases[] = {
        {"no answer becomes a communication retry with the command",
         [](ScriptedWorker&) { throw link::EQel(link::feNoAnswer); },
         TCmd::tCMD2,
         {ncRetryComm, 2}},
        {"no answer from a real transfer",
         [](ScriptedWorker& w) { w.SendCommand(true, 1, 0, 0, 0, 0, 0, 0); },
         TCmd::tCMD0,
         {ncRetryComm, 0}},
        {"failure code travels unchanged",
         [](ScriptedWorker&) { throw link::EQel(link::feNotVerified, "x"); },
         TCmd::tCMD0,
         {ncFailure, link::feNotVerified}},
        {"an unexpected error is failure 0",
         [](ScriptedWorker&) { throw std::logic_error("bug"); },
         TCmd::tCMD0,
         {ncFailure, 0}},
        {"done carries the command", [](ScriptedWorker&) {}, TCmd::tCMD_TEST, {ncDone, 3}},
    };
    for (const Case& c : cases) {
        ScriptedWorker::procedure = c.procedure;
        const auto seen = RunJob(&CreateCommThread<ScriptedWorker>, c.cmd);
        ASSERT_FALSE(seen.empty()) << c.what;
        EXPECT_EQ(seen.back(), c.final) << c.what;
        EXPECT_EQ(target->portOpenAtFinal, 0) << c.what;
    }
}

TEST_F(WorkerTest, CancelGivenBeforeTheJobEndsItWithoutOpeningThePort) {
    ScriptedWorker::procedure = [](ScriptedWorker&) { ADD_FAILURE() << "the device procedure must not run"; };
    link::CancelRequested = true;
    EXPECT_EQ(RunJob(&CreateCommThread<ScriptedWorker>), (std::vector<Notification>{{ncFailure, link::feCancelled}}));
    EXPECT_EQ(serial.CountOf(Op::Open), 0);
}

TEST_F(WorkerTest, CancelDuringTheZeroFramesEndsCancelled) {
    // The cancel arrives while the first zero frame is on the line.
    serial.SetResponder([](const Bytes&, std::uint32_t) { return Bytes{}; });
    ScriptedWorker::procedure = [](ScriptedWorker&) { ADD_FAILURE() << "the device procedure must not run"; };
    link::CancelRequested = false;
    std::thread canceller;
    struct CancelOnWrite final : link::SerialBackend {
        explicit CancelOnWrite(ScriptedSerial& inner) : inner(inner) {}
        link::PortHandle Open(const std::string& n, std::int32_t b) override { return inner.Open(n, b); }
        bool ClearCommError(link::PortHandle p) override { return inner.ClearCommError(p); }
        bool PurgeComm(link::PortHandle p, std::uint32_t f) override { return inner.PurgeComm(p, f); }
        bool WriteFile(link::PortHandle p, const std::uint8_t* d, std::uint32_t c, std::uint32_t& w) override {
            link::CancelRequested = true;
            return inner.WriteFile(p, d, c, w);
        }
        bool ReadFile(link::PortHandle p, std::uint8_t* b, std::uint32_t c, std::uint32_t& r) override {
            return inner.ReadFile(p, b, c, r);
        }
        bool CloseHandle(link::PortHandle p) override { return inner.CloseHandle(p); }
        link::OpenFailure LastOpenFailure() const override { return inner.LastOpenFailure(); }
        ScriptedSerial& inner;
    } cancelling(serial);
    link::ScopedSerialBackend use(cancelling);
    EXPECT_EQ(RunJob(&CreateCommThread<ScriptedWorker>), (std::vector<Notification>{{ncFailure, link::feCancelled}}));
    EXPECT_EQ(serial.CountOf(Op::Write), 1);
}

TEST_F(WorkerTest, SetProgressPostsOnlyChangedPercentages) {
    struct Step {
        std::int32_t position;
        std::int32_t total;
        std::vector<Notification> posted;
    };
    const Step steps[] = {
        {0, 10, {}},  // 0 after the reset: nothing
        {5, 0, {}},   // no total gives 0, unchanged
        {1, 10, {{ncProgress, 9, 1, 10}}},
        {1, 10, {}},                           // same percentage again
        {-5, 10, {{ncProgress, 0, -5, 10}}},   // negative position clamps to 0
        {10, 10, {{ncProgress, 99, 10, 10}}},  // the worker never posts 100
        {50, 10, {}},                          // above the total clamps to 99
        {2'000'000'000, 2'000'000'000, {}},    // large positions do not overflow
        {1'000'000'000, 2'000'000'000, {{ncProgress, 49, 1'000'000'000, 2'000'000'000}}},
    };
    ScriptedWorker::procedure = [&](ScriptedWorker& w) {
        // Progress goes to a window of its own, so the job's final notification stays apart.
        auto progress = std::make_shared<NotificationQueue>();
        ScopedNotificationTarget progressWindow(progress);
        const std::int32_t jobWindow = w.FhWindow;
        w.FhWindow = progressWindow.handle();
        for (const Step& step : steps) {
            w.SetProgress(step.position, step.total);
            std::vector<Notification> posted;
            while (auto n = progress->TryPop()) posted.push_back(*n);
            EXPECT_EQ(posted, step.posted) << step.position << "/" << step.total;
        }
        w.FhWindow = jobWindow;
    };
    RunJob(&CreateCommThread<ScriptedWorker>);
}

TEST_F(WorkerTest, JobsOneAfterAnotherEachOpenThePortAfresh) {
    for (int job = 0; job < 3; ++job) {
        EXPECT_EQ(RunJob(&CreateCommThread<TCommThread>).back(), (Notification{ncDone, 0}));
    }
    EXPECT_EQ(serial.CountOf(Op::Open), 3);
    EXPECT_EQ(serial.CountOf(Op::Close), 3);
}

// Thread start and end are where the Windows threads layer once lost a worker now and then (about one
// start in a thousand under Wine), so many short jobs in a row, each ending with a thrown failure.
TEST_F(WorkerTest, ManyShortJobsInARowEachEndWithTheirFinalNotification) {
    ScriptedWorker::procedure = [](ScriptedWorker&) { throw link::EQel(link::feNotVerified); };
    for (int job = 0; job < 1000; ++job) {
        ASSERT_EQ(RunJob(&CreateCommThread<ScriptedWorker>),
                  (std::vector<Notification>{{ncFailure, link::feNotVerified}}))
            << "job " << job;
    }
}

}  // namespace
}  // namespace vantrel::engine
