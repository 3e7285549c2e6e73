#include "ui/qt/port_refresh.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QSignalBlocker>

#include "ui/qt/text_codec.h"

namespace vantrel::ui::qt {

bool IsPortDeviceChange(std::string_view action) { return action == "add" || action == "remove"; }

void RefreshPortBox(QComboBox& cbxPort, PortSource& source, bool applicationActive) {
    std::vector<std::string> ports;
    ListSerialPorts(ports, source);
    const QString text = cbxPort.currentText();
    {
        const QSignalBlocker quiet(&cbxPort);
        cbxPort.clear();
        for (const std::string& port : ports) cbxPort.addItem(FromText(port));
        // Adding to an empty box selects the first item, which would put its name in the text.
        cbxPort.setCurrentIndex(-1);
        cbxPort.setEditText(text);
    }
    if (!applicationActive || !cbxPort.isEnabled()) return;
    if (cbxPort.view()->isVisible()) cbxPort.hidePopup();
    cbxPort.update();
    cbxPort.showPopup();
}

}  // namespace vantrel::ui::qt
