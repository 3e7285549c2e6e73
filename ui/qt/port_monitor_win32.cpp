// Port arrivals and removals on Windows: the system sends WM_DEVICECHANGE to every top-level window;
// a native event filter sees them for all the program's windows.
#include <windows.h>
#include <dbt.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include "ui/qt/port_monitor.h"

namespace vantrel::ui::qt {

namespace {

// An arrival or removal whose header names a port; other device types and events change nothing.
bool IsPortDeviceChange(const MSG& message) {
    if (message.message != WM_DEVICECHANGE) return false;
    if (message.wParam != DBT_DEVICEARRIVAL && message.wParam != DBT_DEVICEREMOVECOMPLETE) return false;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(message.lParam);
    return header != nullptr && header->dbch_devicetype == DBT_DEVTYP_PORT;
}

}  // namespace

struct TPortMonitor::Source final : QAbstractNativeEventFilter {
    explicit Source(TPortMonitor& owner) : monitor(owner) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~Source() override { QCoreApplication::instance()->removeNativeEventFilter(this); }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType == "windows_generic_MSG" && IsPortDeviceChange(*static_cast<const MSG*>(message))) {
            emit monitor.portsChanged();
        }
        return false;
    }

    TPortMonitor& monitor;
};

TPortMonitor::TPortMonitor(QObject* parent) : QObject(parent), source_(std::make_unique<Source>(*this)) {}

TPortMonitor::~TPortMonitor() = default;

}  // namespace vantrel::ui::qt
