// The one record codec: Intel-HEX-style text records between their decoded form and their line of text.
// A line is ':' then count, address high, address low, type, the data bytes and a checksum, each byte two
// upper-case hex digits; the 8-bit sum of all its bytes is 0; no line terminator.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel::link {

struct HexRecord {
    std::uint8_t count = 0;
    std::uint8_t addressHigh = 0;
    std::uint8_t addressLow = 0;
    std::uint8_t type = 0;
    // After a successful parse the checksum follows the data, in data[count].
    std::array<std::uint8_t, 256> data{};
};

enum RecordType : std::uint8_t {
    rtData = 0x00,
    rtEndOfFile = 0x01,
    rtServiceRequest = 0x05,
};

enum ServiceRequest : std::uint8_t {
    srIdentity = 0x20,
    srReadBlock = 0x30,
    srBeginProgramming = 0x31,
    srStartApplication = 0x33,
};

inline constexpr std::uint8_t kMaxRecordCount = 64;
inline constexpr std::size_t kBlockSize = 64;
inline constexpr std::string_view kEndOfFileLine = ":00000001FF";

// Length of the line of a record with count data bytes: 11 for an empty record, 139 for a full one.
inline constexpr std::size_t LineLength(std::size_t count) { return 2 * count + 11; }

// The process-wide record and line the record channel and the update sequence work on (one job at a time).
extern HexRecord RecordBuffer;
extern std::string HexLine;

// Pure forms, for callers that keep their own record (the simulator, tools, tests).
bool BuildHexLine(const HexRecord& record, std::string& line);
bool ParseHexLine(std::string_view line, HexRecord& record);

// RecordBuffer -> HexLine; false (HexLine ":") for a count above 64.
bool BuildHexLine();
// HexLine -> RecordBuffer, with every check.
bool ParseHexLine();

// high * 256 + low, each taken modulo 256.
std::uint16_t MakeWord(int high, int low);

// Two upper-case hex digits of a byte, and the value of one digit (-1 for anything but 0-9, A-F).
void AppendHexByte(std::string& out, std::uint8_t value);
int HexDigitValue(char c);

// A service request: count 1, type 5, the code as data byte 0, the address field as given.
HexRecord ServiceRequestRecord(std::uint8_t code, std::uint16_t address = 0);

}  // namespace vantrel::link
