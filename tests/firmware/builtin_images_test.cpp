#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/builtin_images.h"
#include "firmware/catalogue.h"
#include "firmware/firmware_info.h"
#include "firmware/image_file.h"
#include "link/hex_record.h"

namespace vantrel::firmware {
namespace {

struct Segment {
    std::uint16_t first;
    std::uint16_t last;
};

struct Expected {
    std::int32_t index;
    const char* unitName;
    std::int32_t lineCount;
    std::int32_t vectorIndex;
    std::vector<Segment> blocks;
};

const Expected kExpected[] = {
    {1, "Vantrel_V1_06_PF15_PR19_BL3_0", 1548, 473, {{0x0200, 0x03D8}, {0x03DF, 0x03DF}, {0x0400, 0x0831}}},
    {2,
     "Vantrel_V1_10_PF15_PR39_BL3_0",
     1786,
     284,
     {{0x0200, 0x0200}, {0x0208, 0x0321}, {0x03D8, 0x03D8}, {0x03DF, 0x03DF}, {0x0400, 0x085C}, {0x0C00, 0x0D7F}}},
    {3,
     "Vantrel_V2_08_PF21_PR39_BL3_0",
     2020,
     308,
     {{0x0200, 0x0200}, {0x0208, 0x0339}, {0x03D8, 0x03D8}, {0x03DF, 0x03DF}, {0x0400, 0x092E}, {0x0C00, 0x0D7F}}},
    {4,
     "Vantrel_V2_08_PF21_PR48_BL3_0",
     2019,
     308,
     {{0x0200, 0x0200}, {0x0208, 0x0339}, {0x03D8, 0x03D8}, {0x03DF, 0x03DF}, {0x0400, 0x092D}, {0x0C00, 0x0D7F}}},
};

std::vector<std::uint16_t> Blocks(const std::vector<Segment>& segments) {
    std::vector<std::uint16_t> blocks;
    for (const Segment& s : segments) {
        for (unsigned b = s.first; b <= s.last; ++b) blocks.push_back(static_cast<std::uint16_t>(b));
    }
    return blocks;
}

class BuiltInImageTest : public ::testing::TestWithParam<Expected> {};

TEST_P(BuiltInImageTest, RecordsFollowTheBlockLayout) {
    const Expected& expected = GetParam();
    const BuiltInImage& image = *BuiltInImages()[static_cast<std::size_t>(expected.index - 1)];
    EXPECT_EQ(image.unitName, expected.unitName);
    ASSERT_EQ(image.lineCount, expected.lineCount);
    ASSERT_EQ(image.lines.size(), static_cast<std::size_t>(expected.lineCount) + 1);
    EXPECT_EQ(image.lines.back(), link::kEndOfFileLine);

    const std::vector<std::uint16_t> blocks = Blocks(expected.blocks);
    ASSERT_EQ(blocks.size(), static_cast<std::size_t>(expected.lineCount));
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        link::HexRecord record;
        ASSERT_TRUE(link::ParseHexLine(image.lines[i], record)) << "line " << i << ": " << image.lines[i];
        ASSERT_EQ(record.count, 64) << "line " << i;
        ASSERT_EQ(record.type, link::rtData) << "line " << i;
        ASSERT_EQ(record.addressHigh << 8 | record.addressLow, blocks[i]) << "line " << i;
    }
    EXPECT_EQ(blocks[static_cast<std::size_t>(expected.vectorIndex)], kVectorTableBlock);
}

TEST_P(BuiltInImageTest, FirmwareInfoMatchesTheHeader) {
    const Expected& expected = GetParam();
    const BuiltInImage& image = *BuiltInImages()[static_cast<std::size_t>(expected.index - 1)];
    link::HexRecord record;
    ASSERT_TRUE(link::ParseHexLine(image.lines[0], record));
    const std::optional<FirmwareInfo> info = DecodeFirmwareInfo(record.data.data());
    ASSERT_TRUE(info.has_value());
    const TBl3FileHeader header = GetFirmwareHeader(expected.index);
    EXPECT_EQ(*info, (FirmwareInfo{26145, static_cast<std::uint16_t>(header.qel_verH << 8 | header.qel_verL),
                                   header.qel_platform, header.qel_print}));
}

// The program carries exactly what stands in the committed image file.
TEST_P(BuiltInImageTest, EqualsItsImageFile) {
    const Expected& expected = GetParam();
    const FileImage file = LoadFileImage(std::string(VANTREL_SOURCE_DIR) + "/firmware/images/" + expected.unitName +
                                         ".txt");
    EXPECT_EQ(file.header, GetFirmwareHeader(expected.index));
    EXPECT_EQ(static_cast<std::int32_t>(file.lines.size()) - 1, GetFirmwareLineCount(expected.index));
    const BuiltInImage& image = *BuiltInImages()[static_cast<std::size_t>(expected.index - 1)];
    ASSERT_EQ(file.lines.size(), image.lines.size());
    for (std::size_t i = 0; i < image.lines.size(); ++i) ASSERT_EQ(file.lines[i], image.lines[i]) << i;
}

INSTANTIATE_TEST_SUITE_P(Images, BuiltInImageTest, ::testing::ValuesIn(kExpected),
                         [](const ::testing::TestParamInfo<Expected>& info) {
                             return std::string(info.param.unitName);
                         });

}  // namespace
}  // namespace vantrel::firmware
