#include <gtest/gtest.h>

#include <string>

#include "firmware/catalogue.h"
#include "link/hex_record.h"

namespace vantrel::firmware {
namespace {

class CatalogueTest : public ::testing::Test {};

TEST_F(CatalogueTest, FourBuiltInImages) { EXPECT_EQ(FirmwareImageCount(), 4); }

TEST_F(CatalogueTest, BuiltInHeaders) {
    const TBl3FileHeader expected[] = {
        {26145, 1, 6, 15, 19, "03.06.2018 18:51:00", 3, 0},
        {26145, 1, 10, 15, 39, "07.04.2020 15:36:10", 3, 0},
        {26145, 2, 8, 21, 39, "01.12.2021 09:04:20", 3, 0},
        {26145, 2, 8, 21, 48, "01.12.2021 09:04:24", 3, 0},
    };
    for (int index = 1; index <= 4; ++index) {
        EXPECT_EQ(GetFirmwareHeader(index), expected[index - 1]) << index;
    }
}

TEST_F(CatalogueTest, LineCounts) {
    struct Case {
        std::int32_t index;
        std::int32_t count;
    };
    FileImage file;
    file.lines = {"a", "b", ":00000001FF"};
    const Case cases[] = {{-1, 0}, {0, 2}, {1, 1548}, {2, 1786}, {3, 2020}, {4, 2019}, {5, 0}, {INT32_MIN, 0}};
    for (const Case& c : cases) EXPECT_EQ(GetFirmwareLineCount(c.index, &file), c.count) << c.index;

    file.lines.clear();
    EXPECT_EQ(GetFirmwareLineCount(0, &file), -1);  // no lines at all: nothing before the end record either
    EXPECT_EQ(GetFirmwareLineCount(0), -1);         // no file: the same
}

TEST_F(CatalogueTest, IndexOutsideTheCatalogueGivesTheMarksOfNoImage) {
    for (const std::int32_t index : {-1, 5, 1000}) {
        const TBl3FileHeader header = GetFirmwareHeader(index);
        EXPECT_EQ(header.qel_class, 0xFFFF);
        EXPECT_EQ(header.qel_platform, 0xFFFF);
        EXPECT_EQ(header.qel_print, 0xFFFF);
        EXPECT_EQ(header.qel_verH, 0);  // a fresh header otherwise
        EXPECT_EQ(header.qel_date, "");
    }
}

TEST_F(CatalogueTest, QueryMarksTheHeaderFirstAndRefusesUnknownItems) {
    std::string text = "old";
    std::int32_t count = 99;
    TBl3FileHeader header{1, 2, 3, 4, 5, "keep", 6, 7};
    EXPECT_TRUE(QueryFirmwareImage(nullptr, 1, fiLineCount, 0, text, count, header));
    EXPECT_EQ(count, 1548);
    EXPECT_EQ(text, "");
    // Only class, platform and print are marked; the caller's other fields stay.
    EXPECT_EQ(header, (TBl3FileHeader{0xFFFF, 2, 3, 0xFFFF, 0xFFFF, "keep", 6, 7}));

    count = 99;
    EXPECT_FALSE(QueryFirmwareImage(nullptr, 1, 3, 0, text, count, header));
    EXPECT_EQ(count, 0);
    EXPECT_FALSE(QueryFirmwareImage(nullptr, -1, fiHeader, 0, text, count, header));
}

TEST_F(CatalogueTest, LinesOfABuiltInImage) {
    EXPECT_EQ(GetFirmwareLineCount(1), 1548);
    EXPECT_EQ(GetFirmwareLine(1, 1548), link::kEndOfFileLine);
    const std::string first = GetFirmwareLine(1, 0);
    link::HexRecord record;
    ASSERT_TRUE(link::ParseHexLine(first, record));
    EXPECT_EQ(record.addressHigh << 8 | record.addressLow, 0x0200);

    std::string text = "old";
    GetFirmwareLine(1, 1, text);
    EXPECT_EQ(text.size(), 139u);
}

TEST_F(CatalogueTest, LineOutsideAnImageIsEmpty) {
    FileImage file;
    file.lines = {":00000001FF"};
    for (const std::int32_t image : {0, 1, 2, 3, 4}) {
        const std::int32_t count = GetFirmwareLineCount(image, &file);
        for (const std::int32_t line : {-1, count + 1, INT32_MAX, INT32_MIN}) {
            std::string text;
            std::int32_t ignored = 0;
            TBl3FileHeader header;
            EXPECT_FALSE(QueryFirmwareImage(&file, image, fiLineText, line, text, ignored, header))
                << image << "/" << line;
            EXPECT_EQ(GetFirmwareLine(image, line, &file), "") << image << "/" << line;
        }
        EXPECT_EQ(GetFirmwareLine(image, count, &file), link::kEndOfFileLine) << image;
    }
}

TEST_F(CatalogueTest, NoImageGivesNoLines) {
    EXPECT_EQ(GetFirmwareLineCount(kNoImageSelected), 0);
    EXPECT_EQ(GetFirmwareLine(kNoImageSelected, 0), "");
}

TEST_F(CatalogueTest, FileImageIsImageZero) {
    const std::string data(":40020000" + std::string(128, '0') + "BE");
    FileImage file;
    file.header = {26145, 9, 1, 21, 48, "today", 3, 1};
    file.lines = {data, ":00000001FF"};
    EXPECT_EQ(GetFirmwareHeader(kFileImage, &file), file.header);
    EXPECT_EQ(GetFirmwareLineCount(kFileImage, &file), 1);
    EXPECT_EQ(GetFirmwareLine(kFileImage, 0, &file), data);

    // Without a file, image 0 is empty.
    EXPECT_EQ(GetFirmwareHeader(kFileImage), TBl3FileHeader{});
    EXPECT_EQ(GetFirmwareLineCount(kFileImage), -1);
}

TEST_F(CatalogueTest, ImageLineNumbersCountTheFilesLines) {
    FileImage file;
    file.lines = {"a", "b", ":00000001FF"};
    file.lineNumbers = {9, 10, 12};
    EXPECT_EQ(ImageLineNumber(kFileImage, 2, &file), 12);
    EXPECT_EQ(ImageLineNumber(kFileImage, 3, &file), 3);  // past the lines: the index
    EXPECT_EQ(ImageLineNumber(1, 2, &file), 2);           // a built-in image has no file lines
    EXPECT_EQ(ImageLineNumber(kFileImage, 2, nullptr), 2);
}

}  // namespace
}  // namespace vantrel::firmware
