// Following the system's port list while the program runs: which device events count, and what a
// refresh does to the port box.
#pragma once

#include <string_view>

#include "ui/port_list.h"

class QComboBox;

namespace vantrel::ui::qt {

// Whether a device event of the tty subsystem is a port arriving or going; changes of a port that stays
// (such as a new owner) are not.
bool IsPortDeviceChange(std::string_view action);

// Refills cbxPort's items from the source without touching its text, which names the port of the next
// job even when that port is gone or was never listed; nothing is selected anew. Only while the
// operator works with the program (applicationActive) and the box is enabled (no job runs) is its list
// opened, so the new ports are in view at once.
void RefreshPortBox(QComboBox& cbxPort, PortSource& source, bool applicationActive);

}  // namespace vantrel::ui::qt
