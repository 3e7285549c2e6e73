#include "engine/wakeup.h"

#include "link/windows_headers.h"

#include <stdexcept>

namespace vantrel::engine {

struct Wakeup::State {
    HANDLE event = nullptr;
};

Wakeup::Wakeup() : state_(std::make_unique<State>()) {
    state_->event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (state_->event == nullptr) throw std::runtime_error("CreateEvent failed");
}

Wakeup::~Wakeup() { CloseHandle(state_->event); }

void Wakeup::Notify() { SetEvent(state_->event); }

void Wakeup::SleepSlice(std::unique_lock<std::mutex>& lock, std::chrono::nanoseconds most) {
    // Rounded up, so that a short rest of a time-out does not turn into a busy loop.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(most).count();
    lock.unlock();
    WaitForSingleObject(state_->event, static_cast<DWORD>(ms));
    lock.lock();
}

}  // namespace vantrel::engine
