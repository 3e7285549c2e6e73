// The port box's list: which device events count as a port arriving or going, and how the box takes a new
// list. When the list is refreshed and opened is the controller's decision (ui/main_window_controller.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

class QComboBox;

namespace vantrel::ui::qt {

// Whether a device event of the tty subsystem is a port arriving or going; changes of a port that stays
// (such as a new owner) are not.
bool IsPortDeviceChange(std::string_view action);

// Replaces cbxPort's items. With selectFirst the first item becomes the text (start-up); otherwise the text
// stays as it was, naming the port of the next job even when that port is gone or was never listed, and
// nothing is selected anew.
void SetPortBoxItems(QComboBox& cbxPort, const std::vector<std::string>& names, bool selectFirst);

// Opens the box's list, closing it first when it is open, so that it shows the items it holds now.
void DropDownList(QComboBox& cbxPort);

}  // namespace vantrel::ui::qt
