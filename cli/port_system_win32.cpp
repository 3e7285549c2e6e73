#include <algorithm>
#include <cctype>

#include "app/port_list.h"
#include "cli/port_system.h"

namespace vantrel::cli {

namespace {

// COM5, com5 and \\.\COM5 open the same port.
std::string PlainPortName(const std::string& port) {
    std::string name = port.rfind("\\\\.\\", 0) == 0 ? port.substr(4) : port;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return name;
}

}  // namespace

bool PortPresent(const std::string& port) {
    const std::string wanted = PlainPortName(port);
    const std::vector<app::PortEntry> entries = app::SystemPortSource().Enumerate();
    return std::any_of(entries.begin(), entries.end(),
                       [&](const app::PortEntry& entry) { return PlainPortName(entry.name) == wanted; });
}

std::string SameDeviceKey(const std::string& port) { return PlainPortName(port); }

// A file named after a device is the device: COM5, COM5: and \\.\COM5 all open the port.
bool FileIsPort(const std::string& path, const std::string& port) {
    std::string name = PlainPortName(path);
    if (!name.empty() && name.back() == ':') name.pop_back();
    return !name.empty() && name == PlainPortName(port);
}

// The converters' drivers keep their latency in their own registry settings; nothing to read here.
std::optional<ConverterLatency> ConverterLatencyTimer(const std::string&, const std::string&) { return std::nullopt; }

// A port name on Windows stays the same whichever device is behind it; a folder of links watched here is
// told apart by its links' targets alone.
std::string LinkIdentity(const std::string&) { return {}; }

std::string DefaultWatchFolder() { return {}; }

}  // namespace vantrel::cli
