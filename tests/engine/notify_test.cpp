#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/notify.h"

namespace vantrel::engine {
namespace {

TEST(NotificationRegistry, PostsReachTheRegisteredTargetInOrder) {
    auto queue = std::make_shared<NotificationQueue>();
    ScopedNotificationTarget registration(queue);
    EXPECT_NE(registration.handle(), 0);
    EXPECT_TRUE(PostNotification(registration.handle(), ncClass, 0x6621));
    EXPECT_TRUE(PostNotification(registration.handle(), ncDone, 0));
    EXPECT_EQ(queue->TryPop(), (Notification{ncClass, 0x6621}));
    EXPECT_EQ(queue->TryPop(), (Notification{ncDone, 0}));
    EXPECT_FALSE(queue->TryPop());
}

TEST(NotificationRegistry, PostToAHandleThatIsGoneDoesNothing) {
    auto queue = std::make_shared<NotificationQueue>();
    std::int32_t handle = 0;
    {
        ScopedNotificationTarget registration(queue);
        handle = registration.handle();
    }
    EXPECT_FALSE(PostNotification(handle, ncDone, 0));
    EXPECT_FALSE(PostNotification(0, ncDone, 0));
    EXPECT_FALSE(queue->TryPop());
}

// A window that closes while a worker keeps posting: after unregistering, its target is never called.
TEST(NotificationRegistry, UnregisterWhilePostingIsSafe) {
    class Flagging final : public NotificationTarget {
    public:
        void Post(const Notification&) override {
            if (closed.load()) calledAfterClose = true;
        }
        std::atomic<bool> closed{false};
        std::atomic<bool> calledAfterClose{false};
    };
    auto target = std::make_shared<Flagging>();
    const std::int32_t handle = RegisterNotificationTarget(target);
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        while (!stop.load()) PostNotification(handle, ncProgress, 1);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    UnregisterNotificationTarget(handle);
    target->closed = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop = true;
    worker.join();
    EXPECT_FALSE(target->calledAfterClose.load());
}

}  // namespace
}  // namespace vantrel::engine
