#include "link/clock.h"

#include <atomic>
#include <thread>

namespace vantrel::link {

Micros RealClock::Now() {
    return std::chrono::duration_cast<Micros>(std::chrono::steady_clock::now().time_since_epoch());
}

void RealClock::Sleep(Micros duration) {
    if (duration > Micros::zero()) std::this_thread::sleep_for(duration);
}

Micros VirtualClock::Now() {
    std::lock_guard lock(mutex_);
    return now_;
}

void VirtualClock::Sleep(Micros duration) {
    std::lock_guard lock(mutex_);
    sleeps_.push_back(duration);
    if (duration > Micros::zero()) now_ += duration;
}

void VirtualClock::Advance(Micros duration) {
    std::lock_guard lock(mutex_);
    if (duration > Micros::zero()) now_ += duration;
}

std::vector<Micros> VirtualClock::Sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
}

void VirtualClock::ClearSleeps() {
    std::lock_guard lock(mutex_);
    sleeps_.clear();
}

RealClock& SystemClock() {
    static RealClock clock;
    return clock;
}

namespace {
std::atomic<Clock*> currentClock{nullptr};
}

Clock& CurrentClock() {
    Clock* clock = currentClock.load(std::memory_order_acquire);
    return clock != nullptr ? *clock : SystemClock();
}

ScopedClock::ScopedClock(Clock& clock) : previous_(currentClock.exchange(&clock, std::memory_order_acq_rel)) {}

ScopedClock::~ScopedClock() { currentClock.store(previous_, std::memory_order_release); }

void Sleep(Micros duration) { CurrentClock().Sleep(duration); }

}  // namespace vantrel::link
