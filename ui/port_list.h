// The serial ports a logger can sit on: virtual serial ports only. The system's list comes from a
// source behind a small interface (udev on Linux, the registry on Windows), so the filter and the
// refresh rule can be tested with a fake.
#pragma once

#include <string>
#include <vector>

namespace vantrel::ui {

struct PortEntry {
    std::string name;        // what the operator picks: a device path on Linux, COMn on Windows
    std::string devicePath;  // what the filter looks at: the kernel's device path or the registry value name
    std::string driver;      // Linux: the USB driver kind ("usb-serial", "cdc-acm"), empty elsewhere
};

class PortSource {
public:
    virtual ~PortSource() = default;
    // Every serial port the system knows, in its enumeration order.
    virtual std::vector<PortEntry> Enumerate() = 0;
};

// The system's own source.
PortSource& SystemPortSource();

// Keeps the ports a logger can be on, in the source's order.
std::vector<std::string> FilterLoggerPorts(const std::vector<PortEntry>& entries);

// Fills list with the logger ports of the source.
void ListSerialPorts(std::vector<std::string>& list, PortSource& source = SystemPortSource());

}  // namespace vantrel::ui
