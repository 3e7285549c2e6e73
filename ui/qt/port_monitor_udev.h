// Port arrivals and removals as udev announces them for the tty subsystem.
#pragma once

#include <QObject>

struct udev;
struct udev_monitor;
class QSocketNotifier;

namespace vantrel::ui::qt {

class TPortMonitor final : public QObject {
    Q_OBJECT
public:
    // Without udev (no netlink socket, as in some containers) the monitor stays silent; the list is then
    // only what start-up found.
    explicit TPortMonitor(QObject* parent = nullptr);
    ~TPortMonitor() override;

    bool Active() const { return notifier_ != nullptr; }

signals:
    void portsChanged();

private:
    void ReadEvent();

    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace vantrel::ui::qt
