// What the simulator's tests share: the requests as the updater puts them on the line, the logger they
// start with and the image they program into it, synthetic firmware images and the update a test drives
// through the updater's link.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/comm_link.h"
#include "link/command_frame.h"
#include "sim/logger_model.h"

namespace vantrel::sim::testing {

using Frame = std::vector<std::uint8_t>;

// A frame with its CRC in byte 7.
inline Frame Sealed(Frame frame) {
    frame[7] = link::Crc8Maxim(frame.data(), 7);
    return frame;
}

// Requests, written out byte for byte so that the tests pin the wire rather than the codec that builds them:
// cmdIdentify, cmdEnterBootloader with the entry pattern, srIdentity, srBeginProgramming, srStartApplication.
inline const Frame kIdentifyFrame{0x81, 0, 0, 0, 0, 0, 0, 0xAA};
inline const Frame kEnterBootloaderFrame = Sealed({0x82, 0x3C, 0x17, 0x6E, 0x2B, 0, 0, 0});
inline const std::string kIdentityLine = ":0100000520DA";
inline const std::string kBeginLine = ":0100000531C9";
inline const std::string kStartLine = ":0100000533C7";

// The application a default LoggerConfig powers up with, and its reply to kIdentifyFrame.
inline constexpr std::uint16_t kInstalledClass = 0x6621;
inline constexpr std::uint16_t kInstalledVersion = 0x0106;
inline const Frame kInstalledReply = Sealed({0x81, 0x00, 0x66, 0x21, 0x01, 0x06, 0x00, 0x00});
// The class and version of the images the tests program.
inline constexpr std::uint16_t kNewClass = 0x6622;
inline constexpr std::uint16_t kNewVersion = 0x0107;

// A path in the temporary directory that no other test process uses at the same time.
std::string ScratchPath(const std::string& name);

std::vector<std::uint8_t> Bytes(const std::string& text);
std::string Text(const std::vector<std::uint8_t>& bytes);
std::string RecordLine(std::uint16_t block, const Block& data);
std::string ServiceLine(std::uint8_t code, std::uint16_t address = 0);

// A data record for block with content derived from the block number.
std::string SyntheticRecord(std::uint16_t block);

struct SyntheticImage {
    std::vector<std::string> records;  // data records, then the firmware-information block
    std::string vectorRecord;          // the vector-table block, programmed last
};

// dataRecords records from block 0x0400 on, plus the firmware-information block and the vector block.
SyntheticImage MakeImage(std::uint16_t loggerClass, std::uint16_t version, std::size_t dataRecords = 1548);

// What the updater does with an image once the logger is in its bootloader: begin, every record with
// its echo compared, the vector record last, then start. Returns the index of the first record whose echo
// differed, or -1.
int ProgramImage(link::TCommLink& link, const SyntheticImage& image);

// Identify and return the class (raises like SendCommand).
std::uint16_t IdentifyClass(link::TCommLink& link);
// cmdEnterBootloader as the updater sends it: no reply expected.
void SendEnterBootloader(link::TCommLink& link);

}  // namespace vantrel::sim::testing
