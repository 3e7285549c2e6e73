#include "engine/notify.h"

#include <map>
#include <utility>

namespace vantrel::engine {

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::int32_t, std::shared_ptr<NotificationTarget>> targets;
    std::int32_t nextHandle = 1;
};

// Never destroyed, so a worker that posts while the program ends finds it still in place.
Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

}  // namespace

std::int32_t RegisterNotificationTarget(std::shared_ptr<NotificationTarget> target) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const std::int32_t handle = registry.nextHandle++;
    registry.targets.emplace(handle, std::move(target));
    return handle;
}

void UnregisterNotificationTarget(std::int32_t handle) {
    Registry& registry = TheRegistry();
    std::shared_ptr<NotificationTarget> released;
    {
        std::lock_guard lock(registry.mutex);
        auto it = registry.targets.find(handle);
        if (it == registry.targets.end()) return;
        released = std::move(it->second);
        registry.targets.erase(it);
    }
}

const char* NotifyCodeName(std::uint32_t code) {
    static constexpr std::pair<std::uint32_t, const char*> kNames[] = {
        {ncDone, "ncDone"},
        {ncProgress, "ncProgress"},
        {ncFailure, "ncFailure"},
        {ncProgrammingError, "ncProgrammingError"},
        {ncConversionError, "ncConversionError"},
        {ncRetryComm, "ncRetryComm"},
        {ncClass, "ncClass"},
        {ncVersion, "ncVersion"},
        {ncPlatform, "ncPlatform"},
        {ncPrint, "ncPrint"},
        {ncInfo, "ncInfo"},
        {ncUpdateClass, "ncUpdateClass"},
        {ncUpdateStart, "ncUpdateStart"},
        {ncCheckImage, "ncCheckImage"},
        {ncUpdateId, "ncUpdateId"},
        {ncVectorTable, "ncVectorTable"},
    };
    for (const auto& [known, name] : kNames) {
        if (known == code) return name;
    }
    return nullptr;
}

bool PostNotification(std::int32_t handle, std::uint32_t code, std::int32_t value) {
    return PostNotification(handle, Notification{code, value});
}

bool PostNotification(std::int32_t handle, const Notification& notification) {
    Registry& registry = TheRegistry();
    // The lock is held while the target queues, so a target that was unregistered is never called again.
    std::lock_guard lock(registry.mutex);
    auto it = registry.targets.find(handle);
    if (it == registry.targets.end()) return false;
    it->second->Post(notification);
    return true;
}

void NotificationQueue::Post(const Notification& notification) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(notification);
    }
    ready_.Notify();
}

std::optional<Notification> NotificationQueue::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!ready_.WaitFor(lock, timeout, [&] { return !queue_.empty(); })) return std::nullopt;
    Notification next = queue_.front();
    queue_.pop_front();
    return next;
}

std::optional<Notification> NotificationQueue::TryPop() {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) return std::nullopt;
    Notification next = queue_.front();
    queue_.pop_front();
    return next;
}

}  // namespace vantrel::engine
