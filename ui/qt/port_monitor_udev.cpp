// Port arrivals and removals on Linux: udev's events for the tty subsystem, read when its netlink
// socket has one.
#include <libudev.h>

#include <QSocketNotifier>

#include "ui/qt/port_monitor.h"
#include "ui/qt/port_refresh.h"

namespace vantrel::ui::qt {

struct TPortMonitor::Source {
    ~Source() {
        delete notifier;
        if (monitor != nullptr) udev_monitor_unref(monitor);
        if (context != nullptr) udev_unref(context);
    }

    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
    QSocketNotifier* notifier = nullptr;
};

TPortMonitor::TPortMonitor(QObject* parent) : QObject(parent), source_(std::make_unique<Source>()) {
    Source& s = *source_;
    s.context = udev_new();
    if (s.context == nullptr) return;
    s.monitor = udev_monitor_new_from_netlink(s.context, "udev");
    if (s.monitor == nullptr) return;
    if (udev_monitor_filter_add_match_subsystem_devtype(s.monitor, "tty", nullptr) < 0) return;
    if (udev_monitor_enable_receiving(s.monitor) < 0) return;
    const int fd = udev_monitor_get_fd(s.monitor);
    if (fd < 0) return;
    s.notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
    connect(s.notifier, &QSocketNotifier::activated, this, [this] {
        udev_device* device = udev_monitor_receive_device(source_->monitor);
        if (device == nullptr) return;
        const char* action = udev_device_get_action(device);
        const bool change = action != nullptr && IsPortDeviceChange(action);
        udev_device_unref(device);
        if (change) emit portsChanged();
    });
}

TPortMonitor::~TPortMonitor() = default;

}  // namespace vantrel::ui::qt
