// The Linux port source: the tty devices udev knows, with the USB driver they hang on and what udev's
// USB rules found out about the adapter.
#include "app/port_list_udev.h"

#include <libudev.h>

#include <memory>
#include <sstream>

namespace vantrel::app {

namespace {

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
};

std::string DriverKind(udev_device* tty) {
    if (udev_device_get_parent_with_subsystem_devtype(tty, "usb-serial", nullptr) != nullptr) return "usb-serial";
    udev_device* usbInterface = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_interface");
    if (usbInterface == nullptr) return {};
    const char* driver = udev_device_get_driver(usbInterface);
    if (driver != nullptr && std::string(driver) == "cdc_acm") return "cdc-acm";
    return {};
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The adapter's own string if it has one. Without one udev puts the hex ID in its place; the name the
// USB ID database gives that ID says more.
std::string AdapterString(const UdevProperty& property, const char* encoded, const char* plain, const char* id,
                          const char* database) {
    std::string text = DecodeUdevText(property(encoded));
    if (text.empty()) text = property(plain);
    if (text.empty() || text == property(id)) {
        const std::string known = property(database);
        if (!known.empty()) text = known;
    }
    return text;
}

class UdevPortSource final : public PortSource {
public:
    std::vector<PortEntry> Enumerate() override {
        std::vector<PortEntry> entries;
        std::unique_ptr<udev, UdevDeleter> context(udev_new());
        if (!context) return entries;
        std::unique_ptr<udev_enumerate, UdevDeleter> scan(udev_enumerate_new(context.get()));
        if (!scan) return entries;
        udev_enumerate_add_match_subsystem(scan.get(), "tty");
        udev_enumerate_scan_devices(scan.get());
        for (udev_list_entry* item = udev_enumerate_get_list_entry(scan.get()); item != nullptr;
             item = udev_list_entry_get_next(item)) {
            udev_device* tty = udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(item));
            if (tty == nullptr) continue;
            const char* node = udev_device_get_devnode(tty);
            if (node != nullptr) {
                const UdevProperty property = [tty](const char* name) {
                    const char* value = udev_device_get_property_value(tty, name);
                    return std::string(value != nullptr ? value : "");
                };
                entries.push_back({node, udev_device_get_syspath(tty), DriverKind(tty), UdevPortIdentity(property)});
            }
            udev_device_unref(tty);
        }
        return entries;
    }
};

}  // namespace

std::string DecodeUdevText(const std::string& encoded) {
    std::string text;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '\\' && i + 3 < encoded.size() && encoded[i + 1] == 'x' && HexDigit(encoded[i + 2]) >= 0 &&
            HexDigit(encoded[i + 3]) >= 0) {
            text.push_back(static_cast<char>(HexDigit(encoded[i + 2]) * 16 + HexDigit(encoded[i + 3])));
            i += 3;
        } else {
            text.push_back(encoded[i]);
        }
    }
    // Adapters pad their strings with blanks to a fixed length.
    const std::size_t end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

PortIdentity UdevPortIdentity(const UdevProperty& property) {
    PortIdentity identity;
    std::istringstream links(property("DEVLINKS"));
    for (std::string link; links >> link;) {
        if (link.rfind("/dev/serial/by-id/", 0) == 0) {
            identity.stableLink = link;
            break;
        }
    }
    identity.vendorId = property("ID_VENDOR_ID");
    identity.productId = property("ID_MODEL_ID");
    identity.manufacturer = AdapterString(property, "ID_VENDOR_ENC", "ID_VENDOR", "ID_VENDOR_ID",
                                          "ID_VENDOR_FROM_DATABASE");
    identity.product = AdapterString(property, "ID_MODEL_ENC", "ID_MODEL", "ID_MODEL_ID", "ID_MODEL_FROM_DATABASE");
    identity.serialNumber = property("ID_SERIAL_SHORT");
    return identity;
}

PortSource& SystemPortSource() {
    static UdevPortSource source;
    return source;
}

}  // namespace vantrel::app
