// What the console asks the system about a port it was given, beyond the port list: whether it is there
// yet, whether two names are one device, and how long its USB converter holds received bytes back.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace vantrel::cli {

// The port exists now (a device node or a link to one on Linux, a port in the system's list on Windows).
bool PortPresent(const std::string& port);

// One text for every name of a device: two ports with the same key are the same port.
std::string SameDeviceKey(const std::string& port);

// Whether opening path as a file would open the port: the device by any name (a link, another path to its
// node; on Windows a device name such as COM5 or \\.\COM5).
bool FileIsPort(const std::string& path, const std::string& port);

struct ConverterLatency {
    std::chrono::milliseconds timer;
    std::string setting;  // the file that holds it, below the device tree's root: /bus/usb-serial/devices/...
};

// The latency timer of the USB serial converter the port is on, read below sysfsRoot; nothing for a port
// without one (a USB modem, a pseudo-terminal) and on systems that do not show it.
std::optional<ConverterLatency> ConverterLatencyTimer(const std::string& port, const std::string& sysfsRoot);

// A text that differs for each making of the file or link at path (its inode and change time on POSIX);
// empty when unknown. A port link removed and made again between two looks is told apart from one that
// stayed.
std::string LinkIdentity(const std::string& path);

// The folder of port links the station watches unless told another: where udev links every USB serial port
// by its adapter (/dev/serial/by-id); empty where the system has none, and the station watches the port
// list instead.
std::string DefaultWatchFolder();

// Where the kernel's device tree is mounted; tests give the console a made-up one.
inline constexpr const char* kSystemSysfsRoot = "/sys";

}  // namespace vantrel::cli
