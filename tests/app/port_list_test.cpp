// The logger ports with what their adapters say about themselves: udev's properties as read, and the
// choice of a port by its adapter's serial number.
#include <gtest/gtest.h>

#include <map>

#include "app/port_list.h"
#include "app/port_list_udev.h"

namespace vantrel::app {
namespace {

PortIdentity FromProperties(const std::map<std::string, std::string>& properties) {
    return UdevPortIdentity([&](const char* name) {
        const auto found = properties.find(name);
        return found == properties.end() ? std::string() : found->second;
    });
}

TEST(UdevPortIdentity, ReadsTheAdapterFromUdevsProperties) {
    const PortIdentity converter = FromProperties({
        {"DEVLINKS",
         "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0 "
         "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3X9Q-if00-port0"},
        {"ID_VENDOR_ID", "0403"},
        {"ID_MODEL_ID", "6001"},
        {"ID_VENDOR", "FTDI"},
        {"ID_VENDOR_ENC", "FTDI"},
        {"ID_VENDOR_FROM_DATABASE", "Future Technology Devices International, Ltd"},
        {"ID_MODEL", "FT232R_USB_UART"},
        {"ID_MODEL_ENC", "FT232R\\x20USB\\x20UART"},
        {"ID_SERIAL_SHORT", "A10K3X9Q"},
    });
    EXPECT_EQ(converter.stableLink, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3X9Q-if00-port0");
    EXPECT_EQ(converter.vendorId, "0403");
    EXPECT_EQ(converter.productId, "6001");
    EXPECT_EQ(converter.manufacturer, "FTDI");
    EXPECT_EQ(converter.product, "FT232R USB UART");
    EXPECT_EQ(converter.serialNumber, "A10K3X9Q");

    // An adapter without strings: udev puts the hex IDs in their place, the database names them.
    const PortIdentity bare = FromProperties({
        {"DEVLINKS", "/dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0"},
        {"ID_VENDOR_ID", "1a86"},
        {"ID_MODEL_ID", "7523"},
        {"ID_VENDOR", "1a86"},
        {"ID_VENDOR_FROM_DATABASE", "QinHeng Electronics"},
        {"ID_MODEL", "7523"},
        {"ID_MODEL_FROM_DATABASE", "CH340 serial converter"},
    });
    EXPECT_EQ(bare.stableLink, "");
    EXPECT_EQ(bare.manufacturer, "QinHeng Electronics");
    EXPECT_EQ(bare.product, "CH340 serial converter");
    EXPECT_EQ(bare.serialNumber, "");

    const PortIdentity none = FromProperties({});
    EXPECT_EQ(none.stableLink + none.vendorId + none.manufacturer + none.product + none.serialNumber, "");
}

TEST(UdevPortIdentity, DecodesEscapedText) {
    const struct {
        const char* encoded;
        const char* text;
    } cases[] = {
        {"Velmora\\x20GmbH", "Velmora GmbH"}, {"padded\\x20\\x20\\x20", "padded"},
        {"back\\x5cslash", "back\\slash"},    {"cut\\x2", "cut\\x2"},
        {"not\\xZZhex", "not\\xZZhex"},       {"\\x20\\x20", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeUdevText(c.encoded), c.text) << c.encoded;
}

TEST(PortIdentityText, TellsTheAdapterByProductAndSerialNumber) {
    const struct {
        const char* what;
        PortIdentity identity;
        const char* text;
    } cases[] = {
        {"product and serial number",
         {"", "0403", "6001", "FTDI", "FT232R USB UART", "A10K3X9Q"},
         "FT232R USB UART, serial number A10K3X9Q"},
        {"no product: the maker", {"", "", "", "Velmora GmbH", "", "V-0042"}, "Velmora GmbH, serial number V-0042"},
        {"serial number alone", {"", "", "", "", "", "A1"}, "serial number A1"},
        {"no serial number", {"", "", "", "FTDI", "FT232R USB UART", ""}, "FT232R USB UART"},
        {"IDs and link alone tell nothing", {"/dev/serial/by-id/usb-x", "0403", "6001", "", "", ""}, ""},
        {"control characters", {"", "", "", "", "Two\nLines\x7f", "A\t1"}, "Two?Lines?, serial number A?1"},
    };
    for (const auto& c : cases) EXPECT_EQ(PortIdentityText(c.identity), c.text) << c.what;
}

PortIdentity Serial(std::string serialNumber) {
    PortIdentity identity;
    identity.serialNumber = std::move(serialNumber);
    return identity;
}

TEST(PortSerialNumber, PicksLoggerPortsByTheirAdaptersSerialNumber) {
    std::vector<PortEntry> entries{
        {"/dev/ttyS0", "/sys/devices/platform/serial8250/tty/ttyS0", "", Serial("A1")},
        {"/dev/ttyUSB0", "/sys/.../ttyUSB0", "usb-serial", Serial("A1")},
        {"/dev/ttyUSB1", "/sys/.../ttyUSB1", "usb-serial", Serial("B2")},
        {"/dev/ttyACM0", "/sys/.../ttyACM0", "cdc-acm", Serial("b2")},
        {"/dev/ttyUSB2", "/sys/.../ttyUSB2", "usb-serial", {}},
    };
    const std::vector<PortEntry> loggerPorts = LoggerPortEntries(entries);
    auto names = [&](const std::string& serial) {
        std::vector<std::string> found;
        for (const PortEntry& entry : PortsWithSerialNumber(loggerPorts, serial)) found.push_back(entry.name);
        return found;
    };
    EXPECT_EQ(names("A1"), std::vector<std::string>{"/dev/ttyUSB0"});  // the non-USB port does not count
    EXPECT_EQ(names("B2"), std::vector<std::string>{"/dev/ttyUSB1"});
    EXPECT_EQ(names("C3"), std::vector<std::string>{});
    EXPECT_EQ(names(""), std::vector<std::string>{});  // no serial number matches nothing
    entries.push_back({"/dev/ttyUSB3", "/sys/.../ttyUSB3", "usb-serial", Serial("B2")});
    const std::vector<PortEntry> twice = PortsWithSerialNumber(LoggerPortEntries(entries), "B2");
    EXPECT_EQ(twice.size(), 2u);
}

}  // namespace
}  // namespace vantrel::app
