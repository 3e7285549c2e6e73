#include <gtest/gtest.h>

#include "app/job_record.h"
#include "app/time_left.h"
#include "engine/notify.h"
#include "link/clock.h"

namespace vantrel::app {
namespace {

using namespace std::chrono_literals;

TEST(SummaryValue, QuotedOnlyWhenItMustBe) {
    const struct {
        std::string text;
        const char* value;
    } cases[] = {
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"", "-"},
        {"Vantrel Base V1.06", "\"Vantrel Base V1.06\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"port\x1b[2J", "\"port\\x1b[2J\""},
        {"key=value", "\"key=value\""},
    };
    for (const auto& c : cases) EXPECT_EQ(SummaryValue(c.text), c.value) << c.text;
}

// The estimate on a virtual clock: the fixed waits before programming, then the records left at the rate
// measured between progress reports, then the waits counting down; a restart starts over.
TEST(TimeLeft, FromTheFixedWaitsToTheMeasuredRecordRate) {
    link::VirtualClock clock;
    TimeLeft estimate(clock);
    EXPECT_FALSE(estimate.Left());
    estimate.JobStarted();
    const auto left = [&] {
        const auto e = estimate.Left();
        return e ? std::pair{e->left, e->atLeast} : std::pair{-1ms, false};
    };
    EXPECT_EQ(left(), (std::pair{4500ms, true}));
    clock.Advance(2s);
    estimate.Note({engine::ncUpdateStart, 0});
    EXPECT_EQ(left(), (std::pair{4500ms, true}));
    // The erase takes a second; then 100 ms a record.
    clock.Advance(1s + 10s);
    estimate.Note({engine::ncProgress, 9, 100, 1000});
    EXPECT_EQ(left(), (std::pair{900 * 110ms + 4500ms, false}));  // one sample: the erase counts in
    clock.Advance(40s);
    estimate.Note({engine::ncProgress, 49, 500, 1000});
    EXPECT_EQ(left(), (std::pair{500 * 100ms + 4500ms, false}));
    clock.Advance(4500ms);  // no report for a while: the estimate counts down
    EXPECT_EQ(left(), (std::pair{50000ms, false}));
    EXPECT_EQ(estimate.Elapsed(), 57500ms);

    estimate.Note({engine::ncRetryComm, 0});
    EXPECT_EQ(left(), (std::pair{4500ms, true}));
    estimate.Note({engine::ncUpdateStart, 0});
    clock.Advance(10s);
    estimate.Note({engine::ncProgress, 9, 100, 1000});
    estimate.Note({engine::ncVectorTable, 1});
    clock.Advance(1s);
    EXPECT_EQ(left(), (std::pair{3500ms, false}));
    clock.Advance(10s);
    EXPECT_EQ(left(), (std::pair{0ms, false}));
    estimate.Note({engine::ncDone, 0});
    EXPECT_FALSE(estimate.Left());
    EXPECT_EQ(estimate.Elapsed(), 78500ms);
}

}  // namespace
}  // namespace vantrel::app
