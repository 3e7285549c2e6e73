#include "ui/qt/port_refresh.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QSignalBlocker>

#include "ui/qt/text_codec.h"

namespace vantrel::ui::qt {

bool IsPortDeviceChange(std::string_view action) { return action == "add" || action == "remove"; }

void SetPortBoxItems(QComboBox& cbxPort, const std::vector<std::string>& names, bool selectFirst) {
    const QString text = cbxPort.currentText();
    const QSignalBlocker quiet(&cbxPort);
    cbxPort.clear();
    for (const std::string& name : names) cbxPort.addItem(FromText(name));
    if (selectFirst) {
        cbxPort.setCurrentIndex(cbxPort.count() > 0 ? 0 : -1);
        return;
    }
    // Adding to an empty box selects the first item, which would put its name in the text.
    cbxPort.setCurrentIndex(-1);
    cbxPort.setEditText(text);
}

void DropDownList(QComboBox& cbxPort) {
    if (cbxPort.view()->isVisible()) cbxPort.hidePopup();
    cbxPort.update();
    cbxPort.showPopup();
}

}  // namespace vantrel::ui::qt
