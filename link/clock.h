// The one clock of the system. Every pause the updater makes and every serial time-out is measured on it,
// so that tests can swap in a virtual clock and run whole jobs, time-outs included, in milliseconds.
#pragma once

#include <chrono>
#include <mutex>
#include <vector>

namespace vantrel::link {

using Micros = std::chrono::microseconds;
using Millis = std::chrono::milliseconds;

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic time since an arbitrary origin.
    virtual Micros Now() = 0;
    virtual void Sleep(Micros duration) = 0;
};

class RealClock final : public Clock {
public:
    Micros Now() override;
    void Sleep(Micros duration) override;
};

// Time stands still until someone sleeps on it or advances it. Thread-safe; every Sleep is recorded so
// tests can assert the exact pauses a job made.
class VirtualClock final : public Clock {
public:
    Micros Now() override;
    void Sleep(Micros duration) override;
    void Advance(Micros duration);
    std::vector<Micros> Sleeps() const;
    void ClearSleeps();

private:
    mutable std::mutex mutex_;
    Micros now_{0};
    std::vector<Micros> sleeps_;
};

RealClock& SystemClock();

// The process-wide clock: the real one unless a test installed another.
Clock& CurrentClock();

// Installs a clock for the lifetime of the scope (tests only; no job may run across the change).
class ScopedClock {
public:
    explicit ScopedClock(Clock& clock);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    Clock* previous_;
};

// Pause of the calling thread on the current clock.
void Sleep(Micros duration);

}  // namespace vantrel::link
