#include "ui/qt/port_monitor_udev.h"

#include <libudev.h>

#include <QSocketNotifier>

#include "ui/qt/port_refresh.h"

namespace vantrel::ui::qt {

TPortMonitor::TPortMonitor(QObject* parent) : QObject(parent) {
    udev_ = udev_new();
    if (udev_ == nullptr) return;
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ == nullptr) return;
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) < 0) return;
    if (udev_monitor_enable_receiving(monitor_) < 0) return;
    const int fd = udev_monitor_get_fd(monitor_);
    if (fd < 0) return;
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TPortMonitor::ReadEvent);
}

TPortMonitor::~TPortMonitor() {
    delete notifier_;
    if (monitor_ != nullptr) udev_monitor_unref(monitor_);
    if (udev_ != nullptr) udev_unref(udev_);
}

void TPortMonitor::ReadEvent() {
    udev_device* device = udev_monitor_receive_device(monitor_);
    if (device == nullptr) return;
    const char* action = udev_device_get_action(device);
    const bool change = action != nullptr && IsPortDeviceChange(action);
    udev_device_unref(device);
    if (change) emit portsChanged();
}

}  // namespace vantrel::ui::qt
