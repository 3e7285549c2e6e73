#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/job_control.h"
#include "app/job_rules.h"
#include "app/presenter.h"
#include "engine/comm_thread.h"
#include "engine/notify.h"
#include "engine/option_flags.h"
#include "engine/process_state.h"
#include "firmware/catalogue.h"
#include "firmware/code_tables.h"
#include "link/cancel.h"
#include "link/failures.h"

namespace vantrel::app {
namespace {

using engine::TCmd;

// Workers as the shared job start creates them, without threads: what it asked for, and nothing runs.
struct WorkerRequest {
    std::int32_t window;
    TCmd cmd;
    std::string port;
    bool readInfoOnly;
    bool cancelRequested;  // what the worker would see before it opens the port
};
std::vector<WorkerRequest> workerRequests;
// What the last worker would tell: the test plays its part.
std::shared_ptr<engine::JobOutcome> lastOutcome;
engine::TCommThread* RecordingWorker(const engine::JobRequest& request, TCmd cmd,
                                     std::shared_ptr<engine::JobOutcome> outcome) {
    workerRequests.push_back({request.FhWindow, cmd, request.FsPort, request.ReadInfoOnly,
                              link::CancelRequested.load(std::memory_order_relaxed)});
    lastOutcome = std::move(outcome);
    return nullptr;
}

// Renders every window operation as one line, so a test reads what the operator would see, in order.
class FakeWindow final : public WindowOps {
public:
    FakeWindow() : queue(std::make_shared<engine::NotificationQueue>()), target(queue) {}

    void AddReport(const std::string& text) override { calls.push_back("report: " + text); }
    void SetStatusText(const std::string& text) override { calls.push_back("status: " + text); }
    void ShowInfoMessage(const std::string& text) override { calls.push_back("message: " + text); }
    void ShowBusy(bool busy) override { calls.push_back(busy ? "busy" : "idle"); }
    void SetProgressPosition(int position) override {
        progress = position;
        calls.push_back("bar " + std::to_string(position));
    }
    int ProgressPosition() const override { return progress; }
    void SetApplicationTitle(const std::string& title) override { calls.push_back("title " + title); }
    void Beep() override { calls.push_back("beep"); }
    void ScheduleRestart(std::chrono::milliseconds delay, std::function<void()> restart) override {
        calls.push_back("wait " + std::to_string(delay.count()));
        if (duringWait) duringWait();
        restart();
    }

    std::vector<std::string> calls;
    std::function<void()> duringWait;
    int progress = 0;
    std::shared_ptr<engine::NotificationQueue> queue;
    engine::ScopedNotificationTarget target;
};

// The lines of one job start on the fake window.
const std::vector<std::string> kStartLines{"report: Start at serial port \"/dev/ttyUSB7\"",
                                           "status: Start at serial port \"/dev/ttyUSB7\"", "bar 0", "busy"};

class PresenterTest : public ::testing::Test {
protected:
    PresenterTest() {
        engine::ResetProcessState();
        workerRequests.clear();
        lastOutcome.reset();
        saved_ = engine::CommThreadClass;
        engine::CommThreadClass = &RecordingWorker;
    }
    ~PresenterTest() override {
        engine::ResetProcessState();
        engine::CommThreadClass = saved_;
    }

    engine::JobRequest Request(const FakeWindow& on, std::shared_ptr<const firmware::FileImage> file = nullptr,
                               bool readInfoOnly = false) const {
        return MakeJobRequest("/dev/ttyUSB7", std::move(file), readInfoOnly, on.target.handle());
    }

    // A notification of the job on the fake window, which is started first if none ran yet.
    std::vector<std::string> Present(std::uint32_t code, std::int32_t value) {
        if (jobs.Request() == nullptr) jobs.StartNew(Request(window), EarlierCancel::Forget);
        window.calls.clear();
        lastStatus = jobs.Handle({code, value});
        return window.calls;
    }

    FakeWindow window;
    JobControl jobs{window};
    std::optional<int> lastStatus;
    engine::TCommThreadClass saved_ = nullptr;
};

using Lines = std::vector<std::string>;

TEST_F(PresenterTest, InformationNotificationsGoToTheReport) {
    jobs.StartNew(Request(window), EarlierCancel::Forget);
    lastOutcome->SelectedImage = 2;
    struct Case {
        std::uint32_t code;
        std::int32_t value;
        Lines shown;
    };
    const Case cases[] = {
        {engine::ncClass, 26145, {"report: Class 26145 [" + firmware::LoggerClassName(26145, 0xFFFF) + "]"}},
        {engine::ncClass, 51202, {"report: Class 51202 [BL3]"}},
        {engine::ncClass, 26125, {"report: Class 26125 [?]"}},
        {engine::ncVersion, 0x0206, {"report: Version 2.6"}},
        {engine::ncVersion, 0x010A, {"report: Version 1.10"}},
        {engine::ncPlatform, 15, {"report: Platform 15 [" + firmware::PlatformName(15) + "]"}},
        {engine::ncPlatform, 0xFFFF, {"report: Platform 65535 [?]"}},
        {engine::ncPrint, 39, {"report: Print 39 [A10e BLE UART]"}},
        {engine::ncInfo, 4660, {"report: Info 4660"}},
        {engine::ncUpdateClass, 0xFFFF, {"report: Update class 65535 [?]"}},
        {engine::ncUpdateId, 0xFFFE, {"report: Update Info FFFE"}},
        {engine::ncUpdateId, 0x00A5, {"report: Update Info 00A5"}},
        {engine::ncCheckImage, 1, {"report: Check " + firmware::LoggerClassName(26145, 19) + " V1.06, A10, BL3.0"}},
        {engine::ncUpdateStart,
         0,
         {"report: Update Vantrel V1.10, A10e BLE UART, BL3.0", "status: Update Vantrel V1.10, A10e BLE UART, BL3.0"}},
        {engine::ncVectorTable, 0, {"report: Vector table is saved."}},
        {engine::ncVectorTable, 1, {"report: Vector table is programmed."}},
        {engine::ncVectorTable, 2, {}},
        {engine::ncProgrammingError,
         17,
         {"report: Aborted because programming error at line 17 !",
          "status: Aborted because programming error at line 17 !"}},
        {engine::ncConversionError, 3, {"report: Aborted because conversion error at line  3 !"}},
        {engine::ncProgress, 42, {"report: Progress 42%", "bar 42", "title 42%"}},
        {999, 1, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Present(c.code, c.value), c.shown) << c.code << " " << c.value;
        EXPECT_FALSE(lastStatus) << c.code;
    }
    // In an image file the record stands after the header lines: the report names its line in the file.
    auto file = std::make_shared<firmware::FileImage>();
    file->lines = {"a", "b", ":00000001FF"};
    file->lineNumbers = {9, 10, 12};
    jobs.StartNew(Request(window, file), EarlierCancel::Forget);
    lastOutcome->SelectedImage = firmware::kFileImage;
    // Both texts that name a record name the same line for it.
    EXPECT_EQ(Present(engine::ncConversionError, 2), (Lines{"report: Aborted because conversion error at line  12 !"}));
    EXPECT_EQ(Present(engine::ncProgrammingError, 2),
              (Lines{"report: Aborted because programming error at line 12 !",
                     "status: Aborted because programming error at line 12 !"}));
}

TEST_F(PresenterTest, DoneCompletesTheBarAndNamesTheChosenImage) {
    jobs.StartNew(Request(window), EarlierCancel::Forget);
    lastOutcome->SelectedImage = 3;
    const std::string text = "Update " + firmware::LoggerClassName(26145, 39) + " V2.08 succesfully completed.";
    EXPECT_EQ(Present(engine::ncDone, 0), (Lines{"bar 100", "idle", "title Vantrel Firmware Update", "report: " + text,
                                                 "status: " + text, "message: " + text}));
    EXPECT_EQ(lastStatus, 0);
}

TEST_F(PresenterTest, FailuresBeepAfterIdleAndShowTheirText) {
    struct Case {
        std::int32_t failure;
        std::string text;
        int status;
    };
    const Case cases[] = {
        {link::feNoPort, "Aborted because serial port \"/dev/ttyUSB7\" is not ready!", 10},
        {link::feIo, "Aborted because error when reading/writing to serial port!", 11},
        {link::feCancelled, "Process cancelled!", 20},
        {link::feNoUpdate, "Aborted because no update is available for this logger!", 40},
        {link::feLoggerError, "Aborted because the logger is not ready!", 41},
        {link::feBadLastLine, "Aborted because last line is wrong !", 42},
        {link::feNotVerified, "Update was not successfull!", 45},
        {link::feInvalidAnswer, "Aborted because the logger transmitted an invalid answer!", 46},
        {link::feNoMatchingImage, "There is no update available or the logger has another update ID!", 47},
        {link::feInfoOnly, "Only read update info!", 70},
        {0, "Fatal Exception has occurred!", 1},
        {12345, "Fatal Exception has occurred!", 1},
        {link::feNoAnswer, "Fatal Exception has occurred!", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Present(engine::ncFailure, c.failure),
                  (Lines{"idle", "title Vantrel Firmware Update", "beep", "report: " + c.text, "status: " + c.text,
                         "message: " + c.text}))
            << c.failure;
        EXPECT_EQ(lastStatus, c.status) << c.failure;
    }
}

TEST_F(PresenterTest, ConversionFailureShowsOnlyTheMessage) {
    EXPECT_EQ(Present(engine::ncFailure, link::feConversion),
              (Lines{"idle", "title Vantrel Firmware Update", "beep", "message: Aborted because conversion error!"}));
    EXPECT_EQ(lastStatus, link::feConversion);
}

Lines Concat(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST_F(PresenterTest, ProgrammingErrorRestartsAtOnce) {
    jobs.StartNew(Request(window), EarlierCancel::Forget);
    EXPECT_EQ(Present(engine::ncFailure, link::feProgramming),
              Concat({"idle", "title Vantrel Firmware Update", "beep", "report: Repeat because programming error!",
                      "status: Repeat because programming error!"},
                     kStartLines));
    EXPECT_FALSE(lastStatus);
    ASSERT_EQ(workerRequests.size(), 2u);
    EXPECT_EQ(workerRequests.back().cmd, TCmd::tCMD0);
    EXPECT_EQ(workerRequests.back().port, "/dev/ttyUSB7");
    EXPECT_EQ(workerRequests.back().window, window.target.handle());
    // A restart is the same job: its mode is the one it started with.
    EXPECT_FALSE(workerRequests.back().readInfoOnly);
    EXPECT_TRUE(jobs.Busy());
}

TEST_F(PresenterTest, CommunicationRetryWaitsAndRestartsTheSameCommand) {
    jobs.StartNew(Request(window, nullptr, true), EarlierCancel::Forget);
    EXPECT_EQ(Present(engine::ncRetryComm, 2),
              Concat({"status: Repeat update because communication error!",
                      "report: Repeat update because communication error!", "wait 1500"},
                     kStartLines));
    EXPECT_FALSE(lastStatus);
    ASSERT_EQ(workerRequests.size(), 2u);
    EXPECT_EQ(workerRequests.back().cmd, TCmd::tCMD2);
    EXPECT_EQ(workerRequests.back().port, "/dev/ttyUSB7");
    EXPECT_TRUE(workerRequests.back().readInfoOnly);
}

// Only an operator's new job in a window forgets a Cancel; every other start hands it to its worker, which
// then ends cancelled before it opens the port.
TEST_F(PresenterTest, CancelIsNeverThrownAway) {
    enum class When { BeforeNewJob, BeforeConsoleJob, DuringFailingTransfer, WhileRestartWaits, None };
    struct Case {
        const char* what;
        When when;
        std::uint32_t ending;  // the notification that ends the first worker
        std::int32_t value;
        bool cancelled;  // whether the last worker starts with the cancel request set
    };
    const Case cases[] = {
        {"window: a Cancel of the previous job", When::BeforeNewJob, 0, 0, false},
        {"console: a signal before the start", When::BeforeConsoleJob, 0, 0, true},
        {"Cancel during the transfer that ends in a programming error", When::DuringFailingTransfer, engine::ncFailure,
         link::feProgramming, true},
        {"Cancel before the communication retry arrived", When::DuringFailingTransfer, engine::ncRetryComm, 0, true},
        {"Cancel while the communication restart waits", When::WhileRestartWaits, engine::ncRetryComm, 0, true},
        {"no Cancel: the programming error repeats", When::None, engine::ncFailure, link::feProgramming, false},
        {"no Cancel: the communication retry repeats", When::None, engine::ncRetryComm, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        engine::ResetProcessState();
        workerRequests.clear();
        window.duringWait = [&] {
            if (c.when == When::WhileRestartWaits) jobs.Cancel();
        };
        if (c.when == When::BeforeNewJob || c.when == When::BeforeConsoleJob) jobs.Cancel();
        jobs.StartNew(Request(window), c.when == When::BeforeConsoleJob ? EarlierCancel::Keep : EarlierCancel::Forget);
        if (c.ending != 0) {
            if (c.when == When::DuringFailingTransfer) jobs.Cancel();
            lastStatus = jobs.Handle({c.ending, c.value});
            EXPECT_FALSE(lastStatus);
        }
        ASSERT_EQ(workerRequests.size(), c.ending != 0 ? 2u : 1u);
        EXPECT_EQ(workerRequests.back().cancelRequested, c.cancelled);
        EXPECT_TRUE(jobs.Busy());
    }
}

TEST_F(PresenterTest, RestartBoundEndsTheJob) {
    FakeWindow bounded;
    JobControl boundedJobs(bounded, 2);
    boundedJobs.StartNew(Request(bounded), EarlierCancel::Forget);
    EXPECT_FALSE(boundedJobs.Handle({engine::ncRetryComm, 0}));
    EXPECT_FALSE(boundedJobs.Handle({engine::ncFailure, link::feProgramming}));
    EXPECT_EQ(boundedJobs.Handle({engine::ncRetryComm, 0}), link::feNoAnswer);
    EXPECT_FALSE(boundedJobs.Busy());
    EXPECT_EQ(boundedJobs.Restarts(), 2);
    // A new job counts from zero again.
    boundedJobs.StartNew(Request(bounded), EarlierCancel::Forget);
    EXPECT_FALSE(boundedJobs.Handle({engine::ncFailure, link::feProgramming}));
    EXPECT_FALSE(boundedJobs.Handle({engine::ncFailure, link::feProgramming}));
    EXPECT_EQ(boundedJobs.Handle({engine::ncFailure, link::feProgramming}), link::feProgramming);
}

// The summary line every job leaves, through the shared job start and the presenter: what the logger was
// before and after, the image and the verdict, and nothing of a version that programming may have destroyed.
TEST_F(PresenterTest, EveryJobEndsWithOneSummaryLine) {
    std::vector<std::string> summaries;
    FakeWindow recorded;
    JobControl recordedJobs(recorded, 1, [&](const std::string& line) { summaries.push_back(line); });
    const std::pair<std::uint32_t, std::int32_t> identified[] = {
        {engine::ncClass, 26145}, {engine::ncVersion, 0x0105}, {engine::ncClass, 51202},  {engine::ncVersion, 0x0300},
        {engine::ncPlatform, 15}, {engine::ncPrint, 19},       {engine::ncCheckImage, 1},
    };
    struct Case {
        const char* what;
        std::vector<std::pair<std::uint32_t, std::int32_t>> then;
        std::vector<std::string> fields;
        bool startSent = false;   // the worker had sent the request that starts the new firmware
        bool programmed = false;  // programming began and the logger was left without a startable image
    };
    const Case cases[] = {
        {"verified",
         {{engine::ncUpdateStart, 0}, {engine::ncVectorTable, 1}, {engine::ncClass, 26145}, {engine::ncDone, 0}},
         {" port=/dev/ttyUSB7 adapter=- class-before=26145 version-before=1.05 class-after=26145 version-after=1.06 "
          "platform=15 print=19 image=\"Vantrel Base V1.06\" verdict=\"Update Vantrel Base V1.06 succesfully "
          "completed.\" status=0 duration=",
          " restarts=0"}},
        {"failed while programming, repeated once, then bounded",
         {{engine::ncUpdateStart, 0},
          {engine::ncFailure, link::feProgramming},
          {engine::ncClass, 51202},
          {engine::ncUpdateStart, 0},
          {engine::ncFailure, link::feProgramming}},
         {" class-after=51202 version-after=- ",
          " verdict=\"Repeat because programming error! The logger is left in its bootloader without a startable "
          "firmware; another update brings it back.\" status=44 ",
          " restarts=1"},
         false,
         true},
        {"cancelled by its time limit before programming",
         {{engine::ncFailure, link::feCancelled}},
         {" class-after=51202 version-after=3.00 ", " verdict=\"Process cancelled!\" status=124 "}},
        // The last class heard was the bootloader's; the firmware that now runs was never asked.
        {"cancelled by its time limit while the started firmware comes up",
         {{engine::ncUpdateStart, 0}, {engine::ncVectorTable, 1}, {engine::ncFailure, link::feCancelled}},
         {" class-after=- version-after=- ",
          " verdict=\"Process cancelled! The start of the new firmware was requested; whether it runs was not "
          "checked.\" status=124 "},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        summaries.clear();
        recordedJobs.StartNew(Request(recorded), EarlierCancel::Forget);
        for (const auto& [code, value] : identified) recordedJobs.Handle({code, value});
        lastOutcome->SelectedImage = 1;
        if (c.then.back().second == link::feCancelled) recordedJobs.CancelForTimeLimit();
        lastOutcome->ApplicationStartSent = c.startSent;
        recorded.calls.clear();
        for (const auto& [code, value] : c.then) recordedJobs.Handle({code, value});
        // The verdict stays the operator's usual text; the started firmware is said beside it.
        const std::string started =
            "report: The start of the new firmware was requested; whether it runs was not checked.";
        EXPECT_EQ(std::count(recorded.calls.begin(), recorded.calls.end(), started), c.startSent ? 1 : 0);
        EXPECT_EQ(recordedJobs.DetailClauses().empty(), !c.startSent && !c.programmed);
        ASSERT_EQ(summaries.size(), 1u);
        EXPECT_EQ(summaries[0].find(" job start="), 29u) << summaries[0];
        for (const std::string& field : c.fields)
            EXPECT_NE(summaries[0].find(field), std::string::npos) << field << " in " << summaries[0];
    }
}

// The verdict stays the operator's usual text; what it leaves unsaid follows it as a sentence of its own
// in the message window and the report: why the port would not open, and where the logger is left.
TEST_F(PresenterTest, WhatAVerdictLeavesUnsaidFollowsIt) {
    const std::string leftInBootloader =
        "The logger is left in its bootloader without a startable firmware; another update brings it back.";
    const std::string startRequested = "The start of the new firmware was requested; whether it runs was not checked.";
    struct Case {
        const char* what;
        bool programmingBegan;
        bool startSent;
        link::OpenFailure openFailure;
        std::int32_t failure;
        std::string verdict;
        std::string sentence;  // empty: nothing follows the verdict
    };
    const Case cases[] = {
        {"cancel before programming", false, false, {}, link::feCancelled, "Process cancelled!", ""},
        {"cancel during programming", true, false, {}, link::feCancelled, "Process cancelled!", leftInBootloader},
        {"line fault during programming",
         true,
         false,
         {},
         link::feIo,
         "Aborted because error when reading/writing to serial port!",
         leftInBootloader},
        {"cancel in the wait after the start request",
         true,
         true,
         {},
         link::feCancelled,
         "Process cancelled!",
         startRequested},
        {"wrong class after the start", true, true, {}, link::feNotVerified, "Update was not successfull!", ""},
        {"busy port",
         false,
         false,
         {link::OpenFailureKind::Busy, 16, "/dev/ttyUSB7 (held by minicom, process 4242)"},
         link::feNoPort,
         "Aborted because serial port \"/dev/ttyUSB7\" is not ready!",
         "The port is busy: /dev/ttyUSB7 (held by minicom, process 4242)."},
        {"no permission, on a restart after programming began",
         true,
         false,
         {link::OpenFailureKind::PermissionDenied, 13, "/dev/ttyUSB7"},
         link::feNoPort,
         "Aborted because serial port \"/dev/ttyUSB7\" is not ready!",
         "Permission denied: /dev/ttyUSB7; the logger is left in its bootloader without a startable firmware; "
         "another update brings it back."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        jobs.StartNew(Request(window), EarlierCancel::Forget);
        if (c.programmingBegan) jobs.Handle({engine::ncUpdateStart, 0});
        lastOutcome->ApplicationStartSent = c.startSent;
        lastOutcome->OpenFailure = c.openFailure;
        Lines expected{"idle",
                       "title Vantrel Firmware Update",
                       "beep",
                       "report: " + c.verdict,
                       "status: " + c.verdict,
                       "message: " + c.verdict + (c.sentence.empty() ? "" : "\r\n" + c.sentence)};
        if (!c.sentence.empty()) expected.push_back("report: " + c.sentence);
        EXPECT_EQ(Present(engine::ncFailure, c.failure), expected);
    }
}

TEST_F(PresenterTest, LongTextsAreNotCut) {
    const std::string port(3000, 'p');
    EXPECT_EQ(Presenter::FailureText(link::feNoPort, port),
              "Aborted because serial port \"" + port + "\" is not ready!");
}

TEST(ReportLine, TimeStampBeforeTheText) {
    std::tm local{};
    local.tm_year = 126;
    local.tm_mon = 11;
    local.tm_mday = 10;
    local.tm_hour = 9;
    local.tm_min = 5;
    local.tm_sec = 7;
    local.tm_isdst = -1;
    EXPECT_EQ(ReportLine(std::mktime(&local), "Info 1"), "09-05-07 -> Info 1");
}

}  // namespace
}  // namespace vantrel::app
