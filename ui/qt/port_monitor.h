// Port arrivals and removals as the system announces them; the build picks the source (udev on Linux,
// WM_DEVICECHANGE on Windows).
#pragma once

#include <QObject>
#include <memory>

namespace vantrel::ui::qt {

class TPortMonitor final : public QObject {
    Q_OBJECT
public:
    // Where the system cannot announce device changes (no netlink socket, as in some containers) the
    // monitor stays silent; the list is then what start-up found.
    explicit TPortMonitor(QObject* parent = nullptr);
    ~TPortMonitor() override;

signals:
    // A serial port device arrived or was removed.
    void portsChanged();

private:
    struct Source;
    std::unique_ptr<Source> source_;
};

}  // namespace vantrel::ui::qt
