#include "ui/port_list.h"

#include "ui/text_compare.h"

namespace vantrel::ui {

namespace {

// A logger's USB link shows as a virtual serial port: on Windows a "\device\vcp" path, on Linux a tty on
// a USB serial converter (ttyUSB) or a USB modem (ttyACM).
bool IsLoggerPort(const PortEntry& entry) {
    if (StartsWithIgnoringCase(entry.devicePath, "\\device\\vcp")) return true;
    return entry.driver == "usb-serial" || entry.driver == "cdc-acm";
}

}  // namespace

std::vector<std::string> FilterLoggerPorts(const std::vector<PortEntry>& entries) {
    std::vector<std::string> names;
    for (const PortEntry& entry : entries) {
        if (IsLoggerPort(entry)) names.push_back(entry.name);
    }
    return names;
}

void ListSerialPorts(std::vector<std::string>& list, PortSource& source) { list = FilterLoggerPorts(source.Enumerate()); }

}  // namespace vantrel::ui
