#include "engine/wakeup.h"

#include <condition_variable>

namespace vantrel::engine {

struct Wakeup::State {
    std::condition_variable changed;
};

Wakeup::Wakeup() : state_(std::make_unique<State>()) {}

Wakeup::~Wakeup() = default;

void Wakeup::Notify() { state_->changed.notify_all(); }

void Wakeup::SleepSlice(std::unique_lock<std::mutex>& lock, std::chrono::nanoseconds most) {
    state_->changed.wait_for(lock, most);
}

}  // namespace vantrel::engine
