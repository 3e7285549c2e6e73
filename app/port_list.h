// The serial ports a logger can sit on: virtual serial ports only. The system's list comes from a
// source behind a small interface (udev on Linux, the registry on Windows), so the filter and the
// refresh rule can be tested with a fake.
#pragma once

#include <string>
#include <vector>

namespace vantrel::app {

// What a USB serial port tells about its adapter: enough to tell two loggers on one PC apart, and to find
// one again after it was plugged into another socket (the device node then changes, these do not). Any
// of it may be empty: a source that cannot find it leaves it out.
struct PortIdentity {
    std::string stableLink;    // a path that names the adapter, not the socket: /dev/serial/by-id/...
    std::string vendorId;      // USB vendor ID, four lower-case hex digits
    std::string productId;     // USB product ID, likewise
    std::string manufacturer;  // the adapter's own strings
    std::string product;
    std::string serialNumber;
};

struct PortEntry {
    std::string name;        // what the operator picks: a device path on Linux, COMn on Windows
    std::string devicePath;  // what the filter looks at: the kernel's device path or the registry value name
    std::string driver;      // Linux: the USB driver kind ("usb-serial", "cdc-acm"), empty elsewhere
    PortIdentity identity = {};
};

class PortSource {
public:
    virtual ~PortSource() = default;
    // Every serial port the system knows, in its enumeration order.
    virtual std::vector<PortEntry> Enumerate() = 0;
};

// The system's own source.
PortSource& SystemPortSource();

// The source the console asks: the system's unless a test installed another.
PortSource& CurrentPortSource();

// Installs a source for the lifetime of the scope (tests only).
class ScopedPortSource {
public:
    explicit ScopedPortSource(PortSource& source);
    ~ScopedPortSource();
    ScopedPortSource(const ScopedPortSource&) = delete;
    ScopedPortSource& operator=(const ScopedPortSource&) = delete;

private:
    PortSource* previous_;
};

// Keeps the ports a logger can be on, in the source's order.
std::vector<PortEntry> LoggerPortEntries(const std::vector<PortEntry>& entries);
std::vector<std::string> FilterLoggerPorts(const std::vector<PortEntry>& entries);

// Fills list with the logger ports of the source.
void ListSerialPorts(std::vector<std::string>& list, PortSource& source = SystemPortSource());

// One line that tells the operator which logger sits on a port, beside its name in the port box: the
// adapter's product (its maker when it names no product) and its serial number, "FT232R USB UART, serial
// number A10K3X9Q"; empty when the adapter tells neither. Control characters an adapter may report are
// shown as '?', so that the line stays one line.
std::string PortIdentityText(const PortIdentity& identity);

// The logger ports whose adapter reports this serial number (compared exactly: adapters of one maker
// differ in the letter case of nothing else).
std::vector<PortEntry> PortsWithSerialNumber(const std::vector<PortEntry>& loggerPorts, const std::string& serial);

}  // namespace vantrel::app
