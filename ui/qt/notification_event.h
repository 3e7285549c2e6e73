// How a worker's notification reaches the window: posted from the worker's thread as an event, handled on
// the window's thread in posting order.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

#include "engine/notify.h"

namespace vantrel::ui::qt {

// A notification on its way from the worker's thread to the window's.
class NotificationEvent final : public QEvent {
public:
    explicit NotificationEvent(const engine::Notification& n) : QEvent(Kind()), notification(n) {}
    static QEvent::Type Kind() {
        static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
        return kind;
    }
    engine::Notification notification;
};

// Runs on the worker's thread with the registry locked: it only queues. The window unregisters before it
// is destroyed, so once it is gone no post reaches it; the guard keeps a post during its destruction
// harmless all the same.
class WindowTarget final : public engine::NotificationTarget {
public:
    explicit WindowTarget(QObject* window) : window_(window) {}
    void Post(const engine::Notification& notification) override {
        if (QObject* window = window_.data()) QCoreApplication::postEvent(window, new NotificationEvent(notification));
    }

private:
    QPointer<QObject> window_;
};

}  // namespace vantrel::ui::qt
