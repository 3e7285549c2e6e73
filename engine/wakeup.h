#pragma once

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>

namespace vantrel::engine {

// Wakes a thread that waits for a state guarded by a std::mutex: the notification queue and the list of
// running workers.
//
// Not a bare std::condition_variable because of the Windows build: there the condition variable of the
// POSIX-threads layer (winpthreads) was seen blocked for good on its internal gate, timed waits included,
// in hand-offs from short-lived detached threads under Wine. On Windows the waiter sleeps on an auto-reset
// event instead, which keeps a wake-up given before it sleeps, and looks at the state again after each
// slice whatever happens.
class Wakeup {
public:
    Wakeup();
    ~Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    // Call after changing the state, with or without the mutex held.
    void Notify();

    // Waits until ready() holds (called with the lock held); false if it still does not after timeout.
    template <class Ready>
    bool WaitFor(std::unique_lock<std::mutex>& lock, std::chrono::nanoseconds timeout, Ready ready) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!ready()) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) return false;
            SleepSlice(lock, std::min<std::chrono::nanoseconds>(deadline - now, kSlice));
        }
        return true;
    }

    template <class Ready>
    void Wait(std::unique_lock<std::mutex>& lock, Ready ready) {
        while (!ready()) SleepSlice(lock, kSlice);
    }

private:
    static constexpr std::chrono::milliseconds kSlice{50};

    // Releases the lock while it sleeps, for at most `most`, and takes it again.
    void SleepSlice(std::unique_lock<std::mutex>& lock, std::chrono::nanoseconds most);

    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace vantrel::engine
