#include "app/port_list.h"

#include <algorithm>
#include <iterator>

#include "app/text_compare.h"

namespace vantrel::app {

namespace {

// A logger's USB link shows as a virtual serial port: on Windows a "\device\vcp" path, on Linux a tty on
// a USB serial converter (ttyUSB) or a USB modem (ttyACM).
bool IsLoggerPort(const PortEntry& entry) {
    if (StartsWithIgnoringCase(entry.devicePath, "\\device\\vcp")) return true;
    return entry.driver == "usb-serial" || entry.driver == "cdc-acm";
}

PortSource* installedSource = nullptr;

}  // namespace

PortSource& CurrentPortSource() { return installedSource != nullptr ? *installedSource : SystemPortSource(); }

ScopedPortSource::ScopedPortSource(PortSource& source) : previous_(installedSource) { installedSource = &source; }
ScopedPortSource::~ScopedPortSource() { installedSource = previous_; }

std::vector<PortEntry> LoggerPortEntries(const std::vector<PortEntry>& entries) {
    std::vector<PortEntry> kept;
    std::copy_if(entries.begin(), entries.end(), std::back_inserter(kept), IsLoggerPort);
    return kept;
}

std::vector<std::string> FilterLoggerPorts(const std::vector<PortEntry>& entries) {
    std::vector<std::string> names;
    for (const PortEntry& entry : LoggerPortEntries(entries)) names.push_back(entry.name);
    return names;
}

void ListSerialPorts(std::vector<std::string>& list, PortSource& source) {
    list = FilterLoggerPorts(source.Enumerate());
}

std::string PortIdentityText(const PortIdentity& identity) {
    const std::string& name = identity.product.empty() ? identity.manufacturer : identity.product;
    std::string text = name;
    if (!identity.serialNumber.empty()) {
        if (!text.empty()) text += ", ";
        text += "serial number " + identity.serialNumber;
    }
    std::replace_if(
        text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7f'; }, '?');
    return text;
}

std::vector<PortEntry> PortsWithSerialNumber(const std::vector<PortEntry>& loggerPorts, const std::string& serial) {
    std::vector<PortEntry> matching;
    std::copy_if(loggerPorts.begin(), loggerPorts.end(), std::back_inserter(matching),
                 [&](const PortEntry& entry) { return !serial.empty() && entry.identity.serialNumber == serial; });
    return matching;
}

}  // namespace vantrel::app
