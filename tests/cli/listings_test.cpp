// The console's listings of images and ports.
#include "tests/cli/cli_fixture.h"

namespace vantrel::cli {
namespace {

TEST_F(CliTest, ListImagesPutsTheFileFirst) {
    InternalMode();
    const fs::path image = fs::path(VANTREL_SOURCE_DIR) / "firmware/images/Vantrel_V2_08_PF21_PR48_BL3_0.txt";
    const CliRun run = Cli({"--list-images", "--file", image.string(), "f:+"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    std::vector<std::string> rows;
    for (std::string row; std::getline(lines, row);) rows.push_back(row);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0].rfind("Firmware", 0), 0u);
    EXPECT_NE(rows[1].find("01.12.2021 09:04:24"), std::string::npos);
    EXPECT_NE(rows[2].find("01.12.2021 09:04:24"), std::string::npos);
    EXPECT_NE(rows[5].find("03.06.2018 18:51:00"), std::string::npos);
}

// Each logger port on a line of its own, with what its adapter says about itself under it; a port whose
// adapter says nothing (a Windows driver that does not tell) is its name alone.
TEST_F(CliTest, PortListShowsEachAdapter) {
    FakePorts ports;
    ports.entries = {
        UsbPort("/dev/ttyUSB0", "A10K3X9Q", "/dev/serial/by-id/usb-Velmora_Vantrel_USB_A10K3X9Q-if00-port0"),
        {"/dev/ttyS0", "/sys/devices/platform/serial8250/tty/ttyS0", ""},
        {"COM7", "\\Device\\VCP0", ""},
    };
    ports.entries[0].identity.product = "Vantrel\x1b[2J";
    app::ScopedPortSource usePorts(ports);
    const CliRun run = Cli({"--list-ports"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "/dev/ttyUSB0\n"
              "  by-id          /dev/serial/by-id/usb-Velmora_Vantrel_USB_A10K3X9Q-if00-port0\n"
              "  USB ID         0403:6001\n"
              "  manufacturer   Velmora\n"
              "  product        Vantrel\\x1b[2J\n"
              "  serial number  A10K3X9Q\n"
              "COM7\n");

    // The same facts under their JSON names; what an adapter does not tell is left out.
    const CliRun json = Cli({"--list-ports", "--json"});
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(nlohmann::json::parse(json.out)["ports"], nlohmann::json::parse(R"([
        {"path": "/dev/ttyUSB0", "by_id": "/dev/serial/by-id/usb-Velmora_Vantrel_USB_A10K3X9Q-if00-port0",
         "usb_id": "0403:6001", "manufacturer": "Velmora", "product": "Vantrel\u001b[2J", "serial_number": "A10K3X9Q"},
        {"path": "COM7"}])"));
}

}  // namespace
}  // namespace vantrel::cli
