#include <gtest/gtest.h>

#include <string>

#include "link/command_frame.h"
#include "link/hex_record.h"

namespace vantrel::link {
namespace {

TEST(Crc8Maxim, CheckValueAndEmptyInput) {
    const std::string check = "123456789";
    EXPECT_EQ(Crc8Maxim(reinterpret_cast<const std::uint8_t*>(check.data()), 9), 0xA1);
    EXPECT_EQ(Crc8Maxim(nullptr, 0), 0);
}

TEST(CommandFrame, WireBytes) {
    struct Case {
        const char* name;
        CommandFrame frame;
        CommandFrame wire;
    };
    const std::uint8_t enterCrc = [] {
        const std::uint8_t head[7] = {0x82, 0x3C, 0x17, 0x6E, 0x2B, 0x00, 0x00};
        return Crc8Maxim(head, 7);
    }();
    const Case cases[] = {
        {"identify", BuildCommandFrame(cmdIdentify, 0, 0, 0, 0, 0, 0), {0x81, 0, 0, 0, 0, 0, 0, 0xAA}},
        {"enter bootloader",
         BuildCommandFrame(cmdEnterBootloader, 0x3C, 0x17, 0x6E, 0x2B, 0, 0),
         {0x82, 0x3C, 0x17, 0x6E, 0x2B, 0x00, 0x00, enterCrc}},
        {"zero frame ignores parameters", BuildCommandFrame(cmdZeroFrame, 1, 2, 3, 4, 5, 6), {}},
        {"code above 127 keeps its value", BuildCommandFrame(200, 0, 0, 0, 0, 0, 0),
         SealFrame({200, 0, 0, 0, 0, 0, 0, 0})},
    };
    for (const Case& c : cases) EXPECT_EQ(c.frame, c.wire) << c.name;
}

HexRecord Service(std::uint8_t code, std::uint16_t address = 0) { return ServiceRequestRecord(code, address); }

TEST(HexRecordBuild, ServiceRequestLines) {
    struct Case {
        HexRecord record;
        const char* line;
    };
    const Case cases[] = {
        {Service(srIdentity), ":0100000520DA"},          {Service(srBeginProgramming), ":0100000531C9"},
        {Service(srStartApplication), ":0100000533C7"},  {Service(srReadBlock, 0x0060), ":01006005306A"},
        {Service(srReadBlock, 0x0000), ":0100000530CA"},
    };
    for (const Case& c : cases) {
        std::string line;
        EXPECT_TRUE(BuildHexLine(c.record, line));
        EXPECT_EQ(line, c.line);
    }
}

TEST(HexRecordBuild, CountAboveSixtyFourLeavesOnlyTheColon) {
    HexRecord record;
    record.count = 65;
    std::string line = "old";
    EXPECT_FALSE(BuildHexLine(record, line));
    EXPECT_EQ(line, ":");
}

TEST(HexRecordParse, EndOfFileRecord) {
    HexRecord record;
    ASSERT_TRUE(ParseHexLine(kEndOfFileLine, record));
    EXPECT_EQ(record.count, 0);
    EXPECT_EQ(record.addressHigh, 0);
    EXPECT_EQ(record.addressLow, 0);
    EXPECT_EQ(record.type, rtEndOfFile);
    EXPECT_EQ(record.data[0], 0xFF);
}

TEST(HexRecordParse, FullRecordRoundTrip) {
    HexRecord record;
    record.count = 64;
    record.addressHigh = 0x03;
    record.addressLow = 0xDF;
    for (int i = 0; i < 64; ++i) record.data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 37 + 5);
    std::string line;
    ASSERT_TRUE(BuildHexLine(record, line));
    EXPECT_EQ(line.size(), 139u);
    HexRecord parsed;
    ASSERT_TRUE(ParseHexLine(line, parsed));
    EXPECT_EQ(parsed.count, 64);
    EXPECT_EQ(parsed.addressHigh, 0x03);
    EXPECT_EQ(parsed.addressLow, 0xDF);
    EXPECT_TRUE(std::equal(record.data.begin(), record.data.begin() + 64, parsed.data.begin()));
}

TEST(HexRecordParse, Rejections) {
    struct Case {
        const char* why;
        std::string line;
    };
    const std::string full = [] {
        HexRecord record;
        record.count = 64;
        std::string line;
        BuildHexLine(record, line);
        return line;
    }();
    const Case cases[] = {
        {"lower-case digit", ":0100000520da"},
        {"count 0x41", ":41" + std::string(136, '0')},
        {"count 0xFF", ":FF00000000"},
        {"one character short", full.substr(0, 138)},
        {"one character long", full + "0"},
        {"line terminator", ":00000001FF\r\n"},
        {"fewer than 11 characters", ":000001FF"},
        {"empty", ""},
        {"no colon", "000000001FF"},
        {"leading blank", " :00000001F"},
        {"wrong checksum", ":00000001FE"},
        {"non-digit in data", ":0100000520G0"},
        {"non-digit in count", ":G100000520DA"},
    };
    for (const Case& c : cases) {
        HexRecord record;
        EXPECT_FALSE(ParseHexLine(c.line, record)) << c.why;
    }
}

TEST(HexRecordGlobals, BuildAndParseWorkOnTheSharedRecordAndLine) {
    RecordBuffer = ServiceRequestRecord(srIdentity);
    ASSERT_TRUE(BuildHexLine());
    EXPECT_EQ(HexLine, ":0100000520DA");
    HexLine = ":00000001FF";
    ASSERT_TRUE(ParseHexLine());
    EXPECT_EQ(RecordBuffer.type, rtEndOfFile);
}

TEST(MakeWord, HighByteFirstModulo256) {
    EXPECT_EQ(MakeWord(0x66, 0x21), 0x6621);
    EXPECT_EQ(MakeWord(0x1C8, 0x102), 0xC802);
    EXPECT_EQ(MakeWord(-1, -1), 0xFFFF);
}

}  // namespace
}  // namespace vantrel::link
