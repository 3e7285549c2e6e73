// Notifications: how a worker tells its window what happens. The worker knows the window only as an
// integer handle; a process-wide registry maps handles to targets. A post never waits: targets queue the
// notification for their own thread (the Qt window posts an event, the console pushes onto a queue).
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "engine/wakeup.h"

namespace vantrel::engine {

enum NotifyCode : std::uint32_t {
    ncDone = 0,
    ncProgress = 1,
    ncFailure = 10,
    ncProgrammingError = 11,
    ncConversionError = 12,
    ncRetryComm = 13,
    ncClass = 20,
    ncVersion = 21,
    ncPlatform = 22,
    ncPrint = 23,
    ncInfo = 24,
    ncUpdateClass = 25,
    ncUpdateStart = 26,
    ncCheckImage = 27,
    ncUpdateId = 28,
    ncVectorTable = 40,
};

struct Notification {
    std::uint32_t code = 0;
    std::int32_t value = 0;
    // ncProgress only: the position and total its percentage was computed from, for front ends that count
    // records and estimate the time left (a window message carries the percentage alone).
    std::int32_t position = 0;
    std::int32_t total = 0;
    friend bool operator==(const Notification&, const Notification&) = default;
};

// "ncDone" for ncDone and so on; nullptr for a code that is not one.
const char* NotifyCodeName(std::uint32_t code);

// Every job ends with exactly one of these, and it is the last it posts.
constexpr bool IsFinalNotification(std::uint32_t code) {
    return code == ncDone || code == ncFailure || code == ncRetryComm;
}

class NotificationTarget {
public:
    virtual ~NotificationTarget() = default;
    // Called on the worker's thread with the registry locked: queue and return, never wait.
    virtual void Post(const Notification& notification) = 0;
};

// Registers a target and returns its window handle (never 0).
std::int32_t RegisterNotificationTarget(std::shared_ptr<NotificationTarget> target);
// After this returns, the target receives nothing more; later posts to the handle fail without effect.
void UnregisterNotificationTarget(std::int32_t handle);
// False, and nothing happens, when no target has the handle.
bool PostNotification(std::int32_t handle, std::uint32_t code, std::int32_t value);
bool PostNotification(std::int32_t handle, const Notification& notification);

// A target that queues notifications for a thread that waits on them: the console front end and tests.
class NotificationQueue final : public NotificationTarget {
public:
    void Post(const Notification& notification) override;
    // Waits for the next notification; nullopt after timeout (in real time).
    std::optional<Notification> Wait(std::chrono::milliseconds timeout);
    std::optional<Notification> TryPop();

private:
    std::mutex mutex_;
    Wakeup ready_;
    std::deque<Notification> queue_;
};

// Registers a target for the lifetime of the scope.
class ScopedNotificationTarget {
public:
    explicit ScopedNotificationTarget(std::shared_ptr<NotificationTarget> target)
        : handle_(RegisterNotificationTarget(std::move(target))) {}
    ~ScopedNotificationTarget() { UnregisterNotificationTarget(handle_); }
    ScopedNotificationTarget(const ScopedNotificationTarget&) = delete;
    ScopedNotificationTarget& operator=(const ScopedNotificationTarget&) = delete;
    std::int32_t handle() const { return handle_; }

private:
    std::int32_t handle_;
};

}  // namespace vantrel::engine
