// How long a job has run and how long it still needs, measured on the system's one clock (link/clock.h) so
// that tests and benchmarks run it in virtual time. While the image is programmed the estimate comes from
// the records still to send at the record rate measured so far, plus the fixed waits after the last record;
// before that only those fixed waits are known, so the estimate is a lower bound.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/notify.h"
#include "link/clock.h"

namespace vantrel::app {

class TimeLeft {
public:
    struct Estimate {
        std::chrono::milliseconds left{0};
        bool atLeast = false;  // only the fixed waits are counted: the job needs this or more
    };

    explicit TimeLeft(link::Clock& clock) : clock_(&clock) {}

    // The operator's job starts; restarts of it carry on counting.
    void JobStarted();
    // A notification of the job, as it arrives.
    void Note(const engine::Notification& notification);

    std::chrono::milliseconds Elapsed() const;
    // Nothing before the job started or after it ended.
    std::optional<Estimate> Left() const;

private:
    link::Micros Now() const { return clock_->Now(); }

    link::Clock* clock_;
    std::optional<link::Micros> jobStart_;
    bool ended_ = false;
    // The programming of the current attempt.
    std::optional<link::Micros> programmingStart_;
    std::optional<link::Micros> programmingEnd_;
    std::int32_t total_ = 0;
    // The first and the latest progress sample: the rate is measured between them, apart from the erase that
    // the begin request causes.
    std::optional<std::pair<link::Micros, std::int32_t>> first_, latest_;
};

// A duration as the operator reads it: "m:ss", or "h:mm:ss" from an hour on.
std::string ClockText(std::chrono::milliseconds duration);
// "5:34 left", or "at least 0:04 left" while only the fixed waits are known: one text for the windows and
// the console.
std::string LeftText(const TimeLeft::Estimate& estimate);

}  // namespace vantrel::app
