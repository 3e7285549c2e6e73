#include "tests/cli/cli_fixture.h"

namespace vantrel::cli {

app::PortEntry UsbPort(std::string name, std::string serialNumber, std::string stableLink) {
    app::PortEntry entry{std::move(name), "/sys/devices/usb1/1-1/1-1:1.0/ttyUSB/tty", "usb-serial"};
    entry.identity.stableLink = std::move(stableLink);
    entry.identity.vendorId = "0403";
    entry.identity.productId = "6001";
    entry.identity.manufacturer = "Velmora";
    entry.identity.product = "Vantrel USB";
    entry.identity.serialNumber = std::move(serialNumber);
    return entry;
}

LoggerConfig WithFaults(std::vector<Fault> faults, std::uint16_t platform) {
    LoggerConfig config;
    config.identity.platform = platform;
    config.faults.faults = std::move(faults);
    return config;
}

fs::path ImageFile(const fs::path& folder, const std::function<void(std::vector<std::string>&)>& change) {
    std::ifstream in(fs::path(VANTREL_SOURCE_DIR) / "firmware/images/Vantrel_V1_10_PF15_PR39_BL3_0.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    change(lines);
    const fs::path path = folder / "image.txt";
    std::ofstream out(path, std::ios::binary);
    for (const auto& line : lines) out << line << "\r\n";
    return path;
}

}  // namespace vantrel::cli
