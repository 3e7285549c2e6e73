// The Linux port source: the tty devices udev knows, with the USB driver they hang on.
#include <libudev.h>

#include <memory>

#include "ui/port_list.h"

namespace vantrel::ui {

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
            if (node != nullptr) entries.push_back({node, udev_device_get_syspath(tty), DriverKind(tty)});
            udev_device_unref(tty);
        }
        return entries;
    }
};

}  // namespace

PortSource& SystemPortSource() {
    static UdevPortSource source;
    return source;
}

}  // namespace vantrel::ui
