#include "tests/sim/sim_test_support.h"

#include <unistd.h>

#include <filesystem>

#include "firmware/firmware_info.h"
#include "link/command_frame.h"
#include "link/hex_record.h"

namespace vantrel::sim::testing {

std::string ScratchPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / (name + "-" + std::to_string(getpid()))).string();
}

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }
std::string Text(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

std::string RecordLine(std::uint16_t block, const Block& data) {
    link::HexRecord record;
    record.count = 64;
    record.addressHigh = static_cast<std::uint8_t>(block >> 8);
    record.addressLow = static_cast<std::uint8_t>(block & 0xFF);
    record.type = link::rtData;
    std::copy(data.begin(), data.end(), record.data.begin());
    std::string line;
    link::BuildHexLine(record, line);
    return line;
}

std::string ServiceLine(std::uint8_t code, std::uint16_t address) {
    std::string line;
    link::BuildHexLine(link::ServiceRequestRecord(code, address), line);
    return line;
}

std::string SyntheticRecord(std::uint16_t block) {
    Block data;
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(block * 7 + i * 13);
    return RecordLine(block, data);
}

SyntheticImage MakeImage(std::uint16_t loggerClass, std::uint16_t version, std::size_t dataRecords) {
    SyntheticImage image;
    for (std::size_t i = 0; i < dataRecords; ++i) {
        image.records.push_back(SyntheticRecord(static_cast<std::uint16_t>(0x0400 + i)));
    }
    Block info;
    info.fill(0xFF);
    firmware::EncodeFirmwareInfo({loggerClass, version, 15, 19}, info.data());
    image.records.push_back(RecordLine(firmware::kFirmwareInfoBlock, info));
    image.vectorRecord = SyntheticRecord(firmware::kVectorTableBlock);
    return image;
}

int ProgramImage(link::TCommLink& link, const SyntheticImage& image) {
    link.SendRecord(ServiceLine(link::srBeginProgramming), 1, true);
    for (std::size_t j = 0; j < image.records.size(); ++j) {
        link.SendRecord(image.records[j], 64, true);
        if (link.RxText() != image.records[j]) return static_cast<int>(j);
    }
    link.SendRecord(image.vectorRecord, 64, true);
    if (link.RxText() != image.vectorRecord) return static_cast<int>(image.records.size());
    link.SendRecord(ServiceLine(link::srStartApplication), 0, true);
    return -1;
}

std::uint16_t IdentifyClass(link::TCommLink& link) {
    link.SendCommand(true, link::cmdIdentify, 0, 0, 0, 0, 0, 0);
    return link::MakeWord(link.FRxBuffer[2], link.FRxBuffer[3]);
}

void SendEnterBootloader(link::TCommLink& link) {
    const auto& pattern = link::kBootloaderEntryPattern;
    link.SendCommand(false, link::cmdEnterBootloader, pattern[0], pattern[1], pattern[2], pattern[3], 0, 0);
}

}  // namespace vantrel::sim::testing
