// Which ports are listed, which device events count, and what a refresh does to the port box.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>

#include "app/port_list.h"
#include "ui/qt/port_refresh.h"

namespace vantrel::ui::qt {
namespace {

TEST(PortFilter, KeepsVirtualSerialPortsInTheSourcesOrder) {
    const std::vector<app::PortEntry> entries{
        {"/dev/ttyS0", "/sys/devices/platform/serial8250/tty/ttyS0", ""},
        {"/dev/ttyACM1", "/sys/devices/pci0000:00/usb1/1-2/1-2:1.0/tty/ttyACM1", "cdc-acm"},
        {"COM7", "\\Device\\VCP0", ""},
        {"/dev/ttyUSB0", "/sys/devices/pci0000:00/usb1/1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0", "usb-serial"},
        {"COM8", "\\DEVICE\\vcp3", ""},
        {"COM1", "\\Device\\Serial0", ""},
        {"COM9", "x\\device\\vcp1", ""},
        {"/dev/ttyprintk", "/sys/devices/virtual/tty/ttyprintk", ""},
    };
    EXPECT_EQ(FilterLoggerPorts(entries), (std::vector<std::string>{"/dev/ttyACM1", "COM7", "/dev/ttyUSB0", "COM8"}));
    EXPECT_TRUE(app::FilterLoggerPorts({}).empty());
}

TEST(PortDeviceChange, OnlyArrivalAndRemoval) {
    const struct {
        const char* action;
        bool change;
    } cases[] = {{"add", true},     {"remove", true}, {"change", false}, {"bind", false},
                 {"unbind", false}, {"move", false},  {"", false},       {"Add", false}};
    for (const auto& c : cases) EXPECT_EQ(IsPortDeviceChange(c.action), c.change) << c.action;
}

// Whether the list is refreshed and opened is the controller's decision; the box keeps the operator's text.
TEST(PortBox, NewItemsKeepTheTextAndTheListOpensAnew) {
    struct Case {
        const char* what;
        QString text;
        bool selectFirst;
        bool listOpenBefore;
        QString textAfter;
    };
    const Case cases[] = {
        {"refresh", QStringLiteral("/dev/ttyUSB0"), false, false, QStringLiteral("/dev/ttyUSB0")},
        {"list already open", QStringLiteral("/dev/ttyUSB0"), false, true, QStringLiteral("/dev/ttyUSB0")},
        {"typed port that is gone", QStringLiteral("/dev/ttyUSB5"), false, false, QStringLiteral("/dev/ttyUSB5")},
        {"empty text", QString(), false, false, QString()},
        {"start-up", QString(), true, false, QStringLiteral("/dev/ttyACM0")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QComboBox box;
        box.setEditable(true);
        box.addItems({QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/ttyUSB2")});
        box.setEditText(c.text);
        box.show();
        if (c.listOpenBefore) box.showPopup();

        SetPortBoxItems(box, {"/dev/ttyACM0", "/dev/ttyUSB1"}, c.selectFirst);

        QStringList items;
        for (int i = 0; i < box.count(); ++i) items << box.itemText(i);
        EXPECT_EQ(items, (QStringList{"/dev/ttyACM0", "/dev/ttyUSB1"}));
        EXPECT_EQ(box.currentText(), c.textAfter);
        EXPECT_EQ(box.currentIndex(), c.selectFirst ? 0 : -1);

        DropDownList(box);
        EXPECT_TRUE(box.view()->isVisible());
        box.hidePopup();
    }
}

}  // namespace
}  // namespace vantrel::ui::qt
