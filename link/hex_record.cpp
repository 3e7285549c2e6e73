#include "link/hex_record.h"

namespace vantrel::link {

HexRecord RecordBuffer;
std::string HexLine;

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendHexByte(std::string& out, std::uint8_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out.push_back(kDigits[value >> 4]);
    out.push_back(kDigits[value & 0x0F]);
}

bool BuildHexLine(const HexRecord& record, std::string& line) {
    line = ":";
    if (record.count > kMaxRecordCount) return false;
    line.reserve(LineLength(record.count));
    std::uint8_t sum = 0;
    auto append = [&](std::uint8_t byte) {
        AppendHexByte(line, byte);
        sum = static_cast<std::uint8_t>(sum + byte);
    };
    append(record.count);
    append(record.addressHigh);
    append(record.addressLow);
    append(record.type);
    for (std::size_t i = 0; i < record.count; ++i) append(record.data[i]);
    AppendHexByte(line, static_cast<std::uint8_t>(256 - sum));
    return true;
}

bool ParseHexLine(std::string_view line, HexRecord& record) {
    if (line.size() < LineLength(0) || line[0] != ':') return false;
    auto decode = [&](std::size_t pos, std::uint8_t& out) {
        const int high = HexDigitValue(line[pos]);
        const int low = HexDigitValue(line[pos + 1]);
        if (high < 0 || low < 0) return false;
        out = static_cast<std::uint8_t>(high * 16 + low);
        return true;
    };
    if (!decode(1, record.count)) return false;
    if (record.count > kMaxRecordCount) return false;
    if (line.size() != LineLength(record.count)) return false;

    std::uint8_t sum = record.count;
    std::size_t pos = 3;
    for (std::uint8_t* field : {&record.addressHigh, &record.addressLow, &record.type}) {
        if (!decode(pos, *field)) return false;
        sum = static_cast<std::uint8_t>(sum + *field);
        pos += 2;
    }
    // The data bytes and then the checksum, stored in data[count].
    for (std::size_t i = 0; i <= record.count; ++i, pos += 2) {
        if (!decode(pos, record.data[i])) return false;
        sum = static_cast<std::uint8_t>(sum + record.data[i]);
    }
    return sum == 0;
}

bool BuildHexLine() { return BuildHexLine(RecordBuffer, HexLine); }
bool ParseHexLine() { return ParseHexLine(HexLine, RecordBuffer); }

std::uint16_t MakeWord(int high, int low) { return static_cast<std::uint16_t>(((high & 0xFF) << 8) | (low & 0xFF)); }

HexRecord ServiceRequestRecord(std::uint8_t code, std::uint16_t address) {
    HexRecord record;
    record.count = 1;
    record.addressHigh = static_cast<std::uint8_t>(address >> 8);
    record.addressLow = static_cast<std::uint8_t>(address & 0xFF);
    record.type = rtServiceRequest;
    record.data[0] = code;
    return record;
}

}  // namespace vantrel::link
