// Which ports are listed, which device events count, and what a refresh does to the port box.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>

#include "ui/port_list.h"
#include "ui/qt/port_refresh.h"

namespace vantrel::ui::qt {
namespace {

class FakePorts final : public PortSource {
public:
    std::vector<PortEntry> Enumerate() override { return entries; }
    std::vector<PortEntry> entries;
};

TEST(PortFilter, KeepsVirtualSerialPortsInTheSourcesOrder) {
    const std::vector<PortEntry> entries{
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
    EXPECT_TRUE(FilterLoggerPorts({}).empty());
}

TEST(PortDeviceChange, OnlyArrivalAndRemoval) {
    const struct {
        const char* action;
        bool change;
    } cases[] = {{"add", true},     {"remove", true}, {"change", false}, {"bind", false},
                 {"unbind", false}, {"move", false},  {"", false},       {"Add", false}};
    for (const auto& c : cases) EXPECT_EQ(IsPortDeviceChange(c.action), c.change) << c.action;
}

TEST(PortRefresh, ReplacesTheItemsKeepsTheTextAndOpensTheListOnlyForAnIdleActiveProgram) {
    struct Case {
        const char* what;
        QString text;
        bool active;
        bool enabled;
        bool listOpenBefore;
        bool listOpen;
    };
    const Case cases[] = {
        {"idle and active", QStringLiteral("/dev/ttyUSB0"), true, true, false, true},
        {"list already open", QStringLiteral("/dev/ttyUSB0"), true, true, true, true},
        {"another application active", QStringLiteral("/dev/ttyUSB0"), false, true, false, false},
        {"a job runs", QStringLiteral("/dev/ttyUSB0"), true, false, false, false},
        {"typed port that is gone", QStringLiteral("/dev/ttyUSB5"), true, true, false, true},
        {"empty text", QString(), true, true, false, true},
    };
    FakePorts source;
    source.entries = {{"/dev/ttyS0", "/sys/devices/platform/serial8250/tty/ttyS0", ""},
                      {"/dev/ttyACM0", "/sys/devices/usb1/ttyACM0", "cdc-acm"},
                      {"/dev/ttyUSB1", "/sys/devices/usb1/ttyUSB1", "usb-serial"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QComboBox box;
        box.setEditable(true);
        box.addItems({QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/ttyUSB2")});
        box.setEditText(c.text);
        box.show();
        if (c.listOpenBefore) box.showPopup();
        box.setEnabled(c.enabled);

        RefreshPortBox(box, source, c.active);

        QStringList items;
        for (int i = 0; i < box.count(); ++i) items << box.itemText(i);
        EXPECT_EQ(items, (QStringList{"/dev/ttyACM0", "/dev/ttyUSB1"}));
        EXPECT_EQ(box.currentText(), c.text);
        EXPECT_EQ(box.currentIndex(), -1);
        EXPECT_EQ(box.view()->isVisible(), c.listOpen);
        box.hidePopup();
    }
}

}  // namespace
}  // namespace vantrel::ui::qt
