#include "app/time_left.h"

#include <algorithm>
#include <cstdio>

#include "engine/engine_times.h"

namespace vantrel::app {

namespace {

using link::Micros;

// What follows the last data record: the pause before the start request and the wait after it. The
// vector-table record and the identification of the new firmware are short beside them.
constexpr Micros kWaitsAfterProgramming = engine::kStartApplicationDelay + engine::kStartApplicationWait;

std::chrono::milliseconds Millis(Micros duration) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::max(duration, Micros::zero()));
}

}  // namespace

void TimeLeft::JobStarted() {
    *this = TimeLeft(*clock_);
    jobStart_ = Now();
}

void TimeLeft::Note(const engine::Notification& n) {
    switch (n.code) {
        case engine::ncUpdateStart:
            programmingStart_ = Now();
            programmingEnd_.reset();
            first_.reset();
            latest_.reset();
            total_ = 0;
            break;
        case engine::ncProgress:
            if (!programmingStart_ || n.total <= 0) break;
            total_ = n.total;
            latest_ = {Now(), n.position};
            if (!first_) first_ = latest_;
            break;
        case engine::ncVectorTable:
            if (n.value == 1) programmingEnd_ = Now();
            break;
        case engine::ncRetryComm:
        case engine::ncFailure:
            // A restart programs from the beginning again; until then only the fixed waits are known.
            programmingStart_.reset();
            programmingEnd_.reset();
            first_.reset();
            latest_.reset();
            break;
        case engine::ncDone: ended_ = true; break;
        default: break;
    }
}

std::chrono::milliseconds TimeLeft::Elapsed() const {
    return jobStart_ ? Millis(Now() - *jobStart_) : std::chrono::milliseconds(0);
}

std::optional<TimeLeft::Estimate> TimeLeft::Left() const {
    if (!jobStart_ || ended_) return std::nullopt;
    const Micros now = Now();
    if (programmingEnd_) return Estimate{Millis(*programmingEnd_ + kWaitsAfterProgramming - now), false};
    if (!latest_ || latest_->second <= 0) return Estimate{Millis(kWaitsAfterProgramming), true};
    // Between the first and the latest sample when they differ; from the start of programming otherwise.
    const bool twoSamples = latest_->second > first_->second && latest_->first > first_->first;
    const Micros since = twoSamples ? first_->first : *programmingStart_;
    const std::int32_t counted = twoSamples ? latest_->second - first_->second : latest_->second;
    const double perRecord = static_cast<double>((latest_->first - since).count()) / counted;
    // The position is the record just sent; the rest includes the vector-table record, held back to the end.
    const auto records = static_cast<double>(std::max(total_ - latest_->second, 0));
    const Micros end = latest_->first + Micros(static_cast<std::int64_t>(records * perRecord)) + kWaitsAfterProgramming;
    return Estimate{Millis(end - now), false};
}

std::string ClockText(std::chrono::milliseconds duration) {
    const long long total = duration.count() / 1000;
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    }
    return text;
}

std::string LeftText(const TimeLeft::Estimate& estimate) {
    return std::string(estimate.atLeast ? "at least " : "") + ClockText(estimate.left) + " left";
}

}  // namespace vantrel::app
