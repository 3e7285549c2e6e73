#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "link/cancel.h"
#include "link/clock.h"
#include "link/comm_link.h"
#include "link/command_frame.h"
#include "link/failures.h"
#include "link/hex_record.h"
#include "link/link_times.h"
#include "sim/inprocess_serial.h"
#include "sim/state_file.h"
#include "tests/sim/sim_test_support.h"

namespace vantrel::sim {
namespace {

using namespace std::chrono_literals;
using namespace testing;

int FailureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const link::EQel& e) {
        return e.iException;
    }
    return 0;
}

// A logger on a line of its own, with the updater's end already open: for table cases that each need a
// fresh one.
struct ConnectedLogger {
    explicit ConnectedLogger(LoggerConfig config, InProcessSerial::Options options = {})
        : serial(std::move(config), clock, std::move(options)), useClock(clock), useSerial(serial) {
        link::CancelRequested = false;
        link.FhPort = link::OpenCommPort("SIM1", link::kLineBaudRate);
    }

    link::VirtualClock clock;
    InProcessSerial serial;
    link::ScopedClock useClock;
    link::ScopedSerialBackend useSerial;
    link::TCommLink link;
};

class InProcessTest : public ::testing::Test {
protected:
    explicit InProcessTest(LoggerConfig config = {}, InProcessSerial::Options options = {})
        : serial(std::move(config), clock, std::move(options)), useClock(clock), useSerial(serial) {
        link::CancelRequested = false;
    }

    void Connect() { link.FhPort = link::OpenCommPort("SIM1", link::kLineBaudRate); }

    // What the updater's sequence does to get from the application into the bootloader.
    void EnterBootloader() {
        link.SendCommand(false, link::cmdZeroFrame, 0, 0, 0, 0, 0, 0);
        link::Sleep(100ms);
        link.SendCommand(false, link::cmdZeroFrame, 0, 0, 0, 0, 0, 0);
        link::Sleep(100ms);
        ASSERT_EQ(IdentifyClass(link), kInstalledClass);
        SendEnterBootloader(link);
        link::Sleep(1ms);
        ASSERT_EQ(IdentifyClass(link), firmware::kBootloader3Class);
    }

    link::VirtualClock clock;
    InProcessSerial serial;
    link::ScopedClock useClock;
    link::ScopedSerialBackend useSerial;
    link::TCommLink link;
};

TEST_F(InProcessTest, OpensOnlyItsOwnPortAndOnlyOnce) {
    EXPECT_EQ(link::OpenCommPort("SIM2", 9600), link::kInvalidPortHandle);
    EXPECT_EQ(link::LastOpenFailure().kind, link::OpenFailureKind::NotFound);
    const link::PortHandle first = link::OpenCommPort("SIM1", 9600);
    ASSERT_NE(first, link::kInvalidPortHandle);
    EXPECT_EQ(link::OpenCommPort("SIM1", 9600), link::kInvalidPortHandle);
    EXPECT_EQ(link::LastOpenFailure().kind, link::OpenFailureKind::Busy);
    EXPECT_TRUE(link::CloseHandle(first));
    const link::PortHandle second = link::OpenCommPort("SIM1", 9600);
    EXPECT_NE(second, link::kInvalidPortHandle);
    std::uint32_t written = 0;
    EXPECT_FALSE(link::WriteFile(first, reinterpret_cast<const std::uint8_t*>("x"), 1, written))
        << "a closed handle stays closed";
}

TEST_F(InProcessTest, BootloaderStartUpIsBridgedByTheIdentifyRetries) {
    Connect();
    EnterBootloader();
    // The bootloader needs 150 ms: the first identify after the switch goes unanswered (208 ms), the
    // second, after the 100 ms pause, is answered; then a reply's time-out passes in case the first
    // was only late.
    const auto sleeps = clock.Sleeps();
    EXPECT_EQ(sleeps, (std::vector<link::Micros>{100ms, 100ms, 1ms, 100ms, link::ReadTimeout(8)}));
    EXPECT_EQ(serial.Trace().Matching("frame: reply class 0xC802").size(), 1u);
    EXPECT_EQ(serial.Trace().Matching("unheard").size(), 1u);
}

TEST_F(InProcessTest, ReadIsAnsweredAsSoonAsTheLastByteIsThere) {
    Connect();
    const link::Micros before = clock.Now();
    ASSERT_EQ(IdentifyClass(link), kInstalledClass);
    EXPECT_EQ(clock.Now(), before) << "an unpaced reply is there at once";

    // A silent logger costs the whole read time-out.
    serial.Inspect([](LoggerModel& model) { return model.Received().identify; });
    std::uint8_t buffer[8];
    std::uint32_t read = 0;
    const link::Micros start = clock.Now();
    ASSERT_TRUE(link::ReadFile(link.FhPort, buffer, 8, read));
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(clock.Now() - start, link::Micros(link::ReadTimeout(8)));
}

TEST_F(InProcessTest, PurgeDropsAReplyStillOnItsWay) {
    Connect();
    std::uint32_t written = 0;
    ASSERT_TRUE(link::WriteFile(link.FhPort, kIdentifyFrame.data(), 8, written));
    ASSERT_TRUE(link::PurgeComm(link.FhPort, link::kPurgeRxClear | link::kPurgeTxClear));
    std::uint8_t buffer[8];
    std::uint32_t read = 0;
    ASSERT_TRUE(link::ReadFile(link.FhPort, buffer, 8, read));
    EXPECT_EQ(read, 0u);
}

class FullUpdateTest : public InProcessTest, public ::testing::WithParamInterface<bool> {
protected:
    static LoggerConfig Config() {
        LoggerConfig config;
        config.timing.paced = GetParam();
        return config;
    }
    FullUpdateTest() : InProcessTest(Config()) {}
};

TEST_P(FullUpdateTest, WholeImageGoesThroughAndTheApplicationReportsItsClass) {
    Connect();
    EnterBootloader();
    const SyntheticImage image = MakeImage(kNewClass, kNewVersion);
    ASSERT_EQ(ProgramImage(link, image), -1);
    link::Sleep(4000ms);
    EXPECT_EQ(IdentifyClass(link), kNewClass);
    EXPECT_EQ(link::MakeWord(link.FRxBuffer[4], link.FRxBuffer[5]), kNewVersion);

    serial.Inspect([&](LoggerModel& model) {
        EXPECT_EQ(model.CurrentMode(), Mode::Application);
        EXPECT_EQ(model.ApplicationStarts(), 1);
        EXPECT_EQ(model.ProgrammedSinceBegin().size(), image.records.size() + 1);
        EXPECT_EQ(model.Received().dataRecords, static_cast<int>(image.records.size() + 1));
        return 0;
    });
    const auto echoes = serial.Trace().Matching("record: echo block");
    ASSERT_EQ(echoes.size(), image.records.size() + 1);
    EXPECT_EQ(echoes.back().meaning, "record: echo block 0x03DF");
    if (GetParam()) {
        // Each record costs two line times and the programming time: about 310 ms.
        EXPECT_GT(clock.Now(), link::Micros(image.records.size() * 300ms));
    }
}

INSTANTIATE_TEST_SUITE_P(Timing, FullUpdateTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Paced" : "Fast"; });

TEST(InProcessTimingTest, ProgrammingTimeBeyondTheReadTimeOutLosesTheEcho) {
    // 139 characters each way take 290 ms at 9600 baud; the read waits 339 ms.
    for (const auto& [programming, answered] : {std::pair{45ms, true}, std::pair{55ms, false}}) {
        LoggerConfig config;
        config.initialMode = Mode::Bootloader;
        config.timing = {.paced = true, .programmingTime = programming};
        ConnectedLogger logger(config);
        logger.link.SendRecord(ServiceLine(link::srBeginProgramming), 1, true);
        const std::string line = SyntheticRecord(0x0400);
        EXPECT_EQ(logger.link.SendRecord(line, 64, false), answered) << programming.count() << " ms";
    }
}

TEST(InProcessLateReplyTest, AReplyToAnEarlierAttemptNeverAnswersALaterTransfer) {
    // The first identification's reply comes late: before the retry empties the queue, or while the retry
    // waits for its own, which is then still on its way when the switch into the bootloader follows.
    struct Case {
        const char* why;
        std::chrono::milliseconds delay;
    };
    const Case cases[] = {
        {"late reply there before the retry", 250ms},
        {"late reply taken by the retry, the retry's own still coming", 300ms},
        {"late reply taken by the retry, its end later", 310ms},
        {"late reply near the end of the retry's read", 480ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        LoggerConfig config;
        config.faults.faults = {{.kind = FaultKind::LateReply, .nth = 1, .delay = c.delay}};
        config.timing.paced = true;
        ConnectedLogger logger(config);
        EXPECT_EQ(IdentifyClass(logger.link), kInstalledClass);
        EXPECT_EQ(logger.serial.Trace().Matching("frame: cmdIdentify").size(), 2u);
        SendEnterBootloader(logger.link);
        link::Sleep(1ms);
        EXPECT_EQ(IdentifyClass(logger.link), firmware::kBootloader3Class);
    }
}

TEST(InProcessFaultTest, FaultsShowAsTheUpdaterSeesThem) {
    struct Case {
        const char* name;
        std::vector<Fault> faults;
        int failure;
    };
    const std::vector<Case> cases = {
        {"identify never answered", {{.kind = FaultKind::NoReply}}, link::feNoAnswer},
        {"one identify unanswered", {{.kind = FaultKind::NoReply, .nth = 1}}, 0},
        {"every reply corrupted", {{.kind = FaultKind::CorruptByte}}, link::feNoAnswer},
        {"one reply with garbage", {{.kind = FaultKind::Garbage, .nth = 1}}, 0},
        {"error bit", {{.kind = FaultKind::ErrorBit, .nth = 1}}, link::feLoggerError},
        {"bad CRC with error bit is just a failed attempt",
         {{.kind = FaultKind::ErrorBit, .nth = 1}, {.kind = FaultKind::BadCheck, .nth = 1}},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoggerConfig config;
        config.faults.faults = c.faults;
        ConnectedLogger logger(config);
        EXPECT_EQ(FailureOf([&] { IdentifyClass(logger.link); }), c.failure);
    }
}

TEST(InProcessFaultTest, WrongEchoAndServiceFaultsReachTheUpdater) {
    struct Case {
        const char* name;
        Fault fault;
        std::function<void(link::TCommLink&)> step;
        int failure;
    };
    const std::vector<Case> cases = {
        {"identity short every time",
         {.kind = FaultKind::ShortReply, .request = RequestKind::Identity},
         [](link::TCommLink& l) {
             link::RecordBuffer = link::ServiceRequestRecord(link::srIdentity);
             l.RequestRecord(6);
         },
         link::feInvalidAnswer},
        {"read block bad checksum once",
         {.kind = FaultKind::BadCheck, .request = RequestKind::ReadBlock, .nth = 1},
         [](link::TCommLink& l) {
             link::RecordBuffer = link::ServiceRequestRecord(link::srReadBlock, 0x60);
             l.RequestRecord(64);
         },
         0},
        {"begin never answered",
         {.kind = FaultKind::NoReply, .request = RequestKind::Begin},
         [](link::TCommLink& l) { l.SendRecord(ServiceLine(link::srBeginProgramming), 1, true); },
         link::feNoAnswer},
        {"wrong echo of record 2",
         {.kind = FaultKind::WrongEcho, .request = RequestKind::DataRecord, .nth = 2},
         [](link::TCommLink& l) {
             if (ProgramImage(l, MakeImage(kNewClass, kNewVersion, 3)) == 1) throw link::EQel(link::feProgramming);
         },
         link::feProgramming},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoggerConfig config;
        config.initialMode = Mode::Bootloader;
        config.faults.faults = {c.fault};
        ConnectedLogger logger(config);
        EXPECT_EQ(FailureOf([&] { c.step(logger.link); }), c.failure);
    }
}

TEST(InProcessPowerTest, PowerLossIsSilenceOrAnUnpluggedPortAndTheStateSurvives) {
    const std::string path = ScratchPath("vantrel-inprocess-state");
    for (const bool unplug : {false, true}) {
        SCOPED_TRACE(unplug ? "unplugged" : "silent");
        LoggerConfig config;
        config.initialMode = Mode::Bootloader;
        config.faults.faults = {{.kind = FaultKind::DeadLine, .request = RequestKind::DataRecord, .nth = 3}};
        ConnectedLogger logger(config, {.portName = "SIM1", .unplugOnPowerLoss = unplug, .statePath = path});
        EXPECT_EQ(FailureOf([&] { ProgramImage(logger.link, MakeImage(kNewClass, kNewVersion, 5)); }),
                  unplug ? link::feIo : link::feNoAnswer);
        logger.link.CloseCommPort();
        EXPECT_EQ(link::OpenCommPort("SIM1", link::kLineBaudRate) == link::kInvalidPortHandle, unplug);

        LoggerModel restarted;
        const Result<> loaded = LoadStateFile(restarted, path);
        ASSERT_TRUE(loaded) << loaded.Error();
        EXPECT_EQ(restarted.CurrentMode(), Mode::Bootloader);
        EXPECT_EQ(restarted.ProgrammedSinceBegin(), (std::set<std::uint16_t>{0x0400, 0x0401}));
        std::filesystem::remove(path);
    }
}

TEST(InProcessThreadTest, UpdaterOnAWorkerThreadWhileTheTestLooksOn) {
    link::CancelRequested = false;
    LoggerConfig config;
    config.initialMode = Mode::Bootloader;
    link::VirtualClock clock;
    InProcessSerial serial(config, clock);
    link::ScopedClock useClock(clock);
    link::ScopedSerialBackend useSerial(serial);
    std::atomic<bool> done{false};
    int result = 0;
    std::thread worker([&] {
        link::TCommLink link;
        link.FhPort = link::OpenCommPort("SIM1", 9600);
        result = ProgramImage(link, MakeImage(kNewClass, kNewVersion, 200));
        done = true;
    });
    int seen = 0;
    while (!done) {
        seen = std::max(seen, serial.Inspect([](LoggerModel& model) { return model.Received().dataRecords; }));
        std::this_thread::yield();
    }
    worker.join();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(serial.Inspect([](LoggerModel& model) { return model.Received().dataRecords; }), 202);
    EXPECT_LE(seen, 202);
}

}  // namespace
}  // namespace vantrel::sim
