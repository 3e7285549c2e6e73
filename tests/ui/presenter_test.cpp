#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/notify.h"
#include "engine/process_state.h"
#include "firmware/catalogue.h"
#include "firmware/code_tables.h"
#include "link/cancel.h"
#include "link/failures.h"
#include "ui/presenter.h"

namespace vantrel::ui {
namespace {

using engine::TCmd;

// Renders every window operation as one line, so a test reads what the operator would see, in order.
class FakeWindow final : public WindowOps {
public:
    void AddReport(const std::string& text) override { calls.push_back("report: " + text); }
    void SetStatusText(const std::string& text) override { calls.push_back("status: " + text); }
    void ShowInfoMessage(const std::string& text) override { calls.push_back("message: " + text); }
    void SetIdle() override { calls.push_back("idle"); }
    void StartJob(TCmd cmd) override {
        calls.push_back("start " + std::to_string(static_cast<int>(cmd)));
        link::CancelRequested = false;
        cancelAtStart.push_back(false);
    }
    void SetProgressPosition(int position) override {
        progress = position;
        calls.push_back("bar " + std::to_string(position));
    }
    int ProgressPosition() const override { return progress; }
    void SetApplicationTitle(const std::string& title) override { calls.push_back("title " + title); }
    void Beep() override { calls.push_back("beep"); }
    std::string PortText() const override { return "/dev/ttyUSB7"; }
    void ScheduleRestart(std::chrono::milliseconds delay, std::function<void()> restart) override {
        calls.push_back("wait " + std::to_string(delay.count()));
        if (duringWait) duringWait();
        restart();
    }

    std::vector<std::string> calls;
    std::vector<bool> cancelAtStart;
    std::function<void()> duringWait;
    int progress = 0;
};

class PresenterTest : public ::testing::Test {
protected:
    PresenterTest() { engine::ResetProcessState(); }
    ~PresenterTest() override { engine::ResetProcessState(); }

    std::vector<std::string> Present(std::uint32_t code, std::int32_t value) {
        window.calls.clear();
        lastStatus = presenter.Handle(code, value);
        return window.calls;
    }

    FakeWindow window;
    Presenter presenter{window};
    std::optional<int> lastStatus;
};

using Lines = std::vector<std::string>;

TEST_F(PresenterTest, InformationNotificationsGoToTheReport) {
    firmware::SelectedImage = 2;
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
        {engine::ncUpdateStart, 0,
         {"report: Update Vantrel V1.10, A10e BLE UART, BL3.0", "status: Update Vantrel V1.10, A10e BLE UART, BL3.0"}},
        {engine::ncVectorTable, 0, {"report: Vector table is saved."}},
        {engine::ncVectorTable, 1, {"report: Vector table is programmed."}},
        {engine::ncVectorTable, 2, {}},
        {engine::ncProgrammingError, 17,
         {"report: Aborted because programming error at line 17 !", "status: Aborted because programming error at line 17 !"}},
        {engine::ncConversionError, 3, {"report: Aborted because conversion error at line  3 !"}},
        {engine::ncProgress, 42, {"report: Progress 42%", "bar 42", "title 42%"}},
        {999, 1, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Present(c.code, c.value), c.shown) << c.code << " " << c.value;
        EXPECT_FALSE(lastStatus) << c.code;
    }
}

TEST_F(PresenterTest, DoneCompletesTheBarAndNamesTheChosenImage) {
    firmware::SelectedImage = 3;
    const std::string text = "Update " + firmware::LoggerClassName(26145, 39) + " V2.08 succesfully completed.";
    EXPECT_EQ(Present(engine::ncDone, 0), (Lines{"bar 100", "idle", "report: " + text, "status: " + text, "message: " + text}));
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
                  (Lines{"idle", "beep", "report: " + c.text, "status: " + c.text, "message: " + c.text}))
            << c.failure;
        EXPECT_EQ(lastStatus, c.status) << c.failure;
    }
}

TEST_F(PresenterTest, ConversionFailureShowsOnlyTheMessage) {
    EXPECT_EQ(Present(engine::ncFailure, link::feConversion),
              (Lines{"idle", "beep", "message: Aborted because conversion error!"}));
    EXPECT_EQ(lastStatus, link::feConversion);
}

TEST_F(PresenterTest, ProgrammingErrorRestartsAtOnce) {
    EXPECT_EQ(Present(engine::ncFailure, link::feProgramming),
              (Lines{"idle", "beep", "report: Repeat because programming error!",
                     "status: Repeat because programming error!", "start 0"}));
    EXPECT_FALSE(lastStatus);
}

TEST_F(PresenterTest, CommunicationRetryWaitsAndRestartsTheSameCommand) {
    EXPECT_EQ(Present(engine::ncRetryComm, 2),
              (Lines{"status: Repeat update because communication error!",
                     "report: Repeat update because communication error!", "wait 1500", "start 2"}));
    EXPECT_FALSE(lastStatus);
}

TEST_F(PresenterTest, CancelKeptAcrossTheCommunicationRestart) {
    struct Case {
        const char* when;
        bool before;
        bool during;
    };
    const Case cases[] = {
        {"no cancel", false, false},
        {"cancel before the retry arrived", true, false},
        {"cancel while the restart waits", false, true},
    };
    for (const Case& c : cases) {
        link::CancelRequested = c.before;
        window.duringWait = [&] {
            if (c.during) link::CancelRequested = true;
        };
        Present(engine::ncRetryComm, 0);
        EXPECT_EQ(link::CancelRequested.load(), c.before || c.during) << c.when;
    }
}

TEST_F(PresenterTest, RestartBoundEndsTheJob) {
    FakeWindow bounded;
    Presenter limited(bounded, 2);
    EXPECT_FALSE(limited.Handle(engine::ncRetryComm, 0));
    EXPECT_FALSE(limited.Handle(engine::ncFailure, link::feProgramming));
    EXPECT_EQ(limited.Handle(engine::ncRetryComm, 0), link::feNoAnswer);
    EXPECT_EQ(bounded.calls.back(), "idle");
    limited.ResetRestarts();
    EXPECT_FALSE(limited.Handle(engine::ncFailure, link::feProgramming));
    EXPECT_FALSE(limited.Handle(engine::ncFailure, link::feProgramming));
    EXPECT_EQ(limited.Handle(engine::ncFailure, link::feProgramming), link::feProgramming);
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
}  // namespace vantrel::ui
