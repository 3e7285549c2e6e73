// Synthetic firmware images and the update a test drives through the updater's link, for the simulator's
// tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/comm_link.h"
#include "sim/logger_model.h"

namespace vantrel::sim::testing {

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

}  // namespace vantrel::sim::testing
