#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "firmware/header.h"

namespace vantrel::firmware {
namespace {

std::vector<std::string> ReadAll(const std::string& content, std::size_t extraReads = 0) {
    std::istringstream in(content);
    TextLineReader reader(in);
    std::vector<std::string> lines;
    while (!reader.AtEnd()) lines.push_back(reader.ReadLine());
    for (std::size_t i = 0; i < extraReads; ++i) lines.push_back(reader.ReadLine());
    return lines;
}

TEST(TextLineReader, LineEndingsAndBytes) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(ReadAll("a\r\nb\nc"), (Lines{"a", "b", "c"}));
    EXPECT_EQ(ReadAll("a\nb\n"), (Lines{"a", "b"}));
    EXPECT_EQ(ReadAll("\n\r\n"), (Lines{"", ""}));
    EXPECT_EQ(ReadAll(""), Lines{});
    // A CR inside a line is not a line end; bytes of the upper half and NUL stay as they are.
    EXPECT_EQ(ReadAll("a\rb\n"), (Lines{"a\rb"}));
    EXPECT_EQ(ReadAll(std::string("\xE4\xFF\0x\n", 5)), (Lines{std::string("\xE4\xFF\0x", 4)}));
}

TEST(TextLineReader, ReadsPastTheEndGiveEmptyLines) {
    EXPECT_EQ(ReadAll("only\n", 3), (std::vector<std::string>{"only", "", "", ""}));
}

TEST(TextLineReader, LineLongerThanTheLimitRaises) {
    std::istringstream ok(std::string(16, 'x') + "\r\n" + "next");
    TextLineReader exact(ok, 16);
    EXPECT_EQ(exact.ReadLine(), std::string(16, 'x'));
    EXPECT_EQ(exact.ReadLine(), "next");

    std::istringstream tooLong(std::string(17, 'x') + "\n");
    TextLineReader reader(tooLong, 16);
    EXPECT_THROW(reader.ReadLine(), EInOutError);
}

TEST(ExtractKeyValue, Cases) {
    struct Case {
        const char* line;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"class=26145", "class", "26145"},
        {"date=01.01.2020 a=b", "date", "01.01.2020 a=b"},  // the value runs to the end, "=" included
        {"class= 26145 ", "class", " 26145 "},              // nothing trimmed
        {"class =26145", "class", ""},                      // blank before "=": another key
        {"Class=26145", "class", ""},                       // case matters
        {"class26145", "class", ""},                        // no "="
        {"=x", "", "x"},
        {"class=", "class", ""},
        {"versionH=1", "version", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ExtractKeyValue(c.line, c.key), c.value) << c.line;
}

TEST(StrToInt, Accepted) {
    struct Case {
        const char* text;
        std::int32_t value;
    };
    const Case cases[] = {
        {"26145", 26145},
        {"$6621", 26145},
        {"0x6621", 26145},
        {"0X6621", 26145},
        {"x6621", 26145},
        {"X6621", 26145},
        {"$abCD", 0xABCD},
        {" 26145", 26145},
        {"   -1", -1},
        {"+7", 7},
        {"06", 6},
        {"-$10", -16},
        {"0", 0},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"$7FFFFFFF", 0x7FFFFFFF},
        {"000000000000042", 42},
    };
    for (const Case& c : cases) EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
}

TEST(StrToInt, RejectedAndNamed) {
    const char* const cases[] = {
        "",           " ",
        "26145 ",     "abc",
        "1.0",        "3.0",
        "$",          "0x",
        "x",          "-",
        "+-1",        "- 1",
        "\t1",        "12a",
        "$G1",        "0x-1",
        "$ 1",        "1e3",
        "2147483648", "-2147483649",
        "$80000000",  "99999999999999999999999",
    };
    for (const char* text : cases) {
        try {
            StrToInt(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), "'" + std::string(text) + "' is not a valid integer value");
        }
    }
}

constexpr const char* kGoodHeader =
    "bootloader=3\n"
    "bootloader version=0\n"
    "class=26145\n"
    "versionH=1\n"
    "versionL=06\n"
    "platform=15\n"
    "print=19\n"
    "date=03.06.2018 18:51:00\n";

TBl3FileHeader Read(const std::string& content, TBl3FileHeader header = {}) {
    std::istringstream in(content);
    TextLineReader reader(in);
    EXPECT_TRUE(ReadFirmwareHeader(reader, header));
    return header;
}

TEST(ReadFirmwareHeader, StoresEveryRow) {
    const TBl3FileHeader expected{26145, 1, 6, 15, 19, "03.06.2018 18:51:00", 3, 0};
    EXPECT_EQ(Read(kGoodHeader), expected);
}

std::string ReplaceLine(std::string text, int row, const std::string& line) {
    std::size_t begin = 0;
    for (int i = 1; i < row; ++i) begin = text.find('\n', begin) + 1;
    const std::size_t end = text.find('\n', begin);
    return text.replace(begin, end - begin, line);
}

TEST(ReadFirmwareHeader, RowVariants) {
    struct Case {
        int row;
        const char* line;
        TBl3FileHeader expected;
    };
    const Case cases[] = {
        {3, "class=$6621", {26145, 1, 6, 15, 19, "03.06.2018 18:51:00", 3, 0}},
        {3, "class=0x6621", {26145, 1, 6, 15, 19, "03.06.2018 18:51:00", 3, 0}},
        {3, "class= 26145", {26145, 1, 6, 15, 19, "03.06.2018 18:51:00", 3, 0}},
        {3, "class=65535", {0xFFFF, 1, 6, 15, 19, "03.06.2018 18:51:00", 3, 0}},
        {3, "class=$FFFF", {0xFFFF, 1, 6, 15, 19, "03.06.2018 18:51:00", 3, 0}},
        {3, "class=0", {0, 1, 6, 15, 19, "03.06.2018 18:51:00", 3, 0}},
        {3, "class=-0", {0, 1, 6, 15, 19, "03.06.2018 18:51:00", 3, 0}},
        // Stored files write "no code" as -1.
        {3, "class=-1", {0xFFFF, 1, 6, 15, 19, "03.06.2018 18:51:00", 3, 0}},
        {7, "print=-1", {26145, 1, 6, 15, 0xFFFF, "03.06.2018 18:51:00", 3, 0}},
        {3, "class=-$1", {0xFFFF, 1, 6, 15, 19, "03.06.2018 18:51:00", 3, 0}},
        // Codes with the top bit set, written as negative numbers: 16-bit two's complement.
        {3, "class=-2", {0xFFFE, 1, 6, 15, 19, "03.06.2018 18:51:00", 3, 0}},
        {6, "platform=-$7FFF", {26145, 1, 6, 0x8001, 19, "03.06.2018 18:51:00", 3, 0}},
        {7, "print=-32768", {26145, 1, 6, 15, 0x8000, "03.06.2018 18:51:00", 3, 0}},
        {1, "bootloader=2", {26145, 1, 6, 15, 19, "03.06.2018 18:51:00", 2, 0}},
        // A generation the program does not know is a header that matches no bootloader.
        {1, "bootloader=3.0", {26145, 1, 6, 15, 19, "03.06.2018 18:51:00", 0xFFFF, 0}},
        {1, "bootloader= 3", {26145, 1, 6, 15, 19, "03.06.2018 18:51:00", 0xFFFF, 0}},
        {1, "bootloader=", {26145, 1, 6, 15, 19, "03.06.2018 18:51:00", 0xFFFF, 0}},
        // A byte order mark, as some editors save a file, is not part of the first key.
        {1,
         "\xEF\xBB\xBF"
         "bootloader=2",
         {26145, 1, 6, 15, 19, "03.06.2018 18:51:00", 2, 0}},
        {8, "date=a=b c", {26145, 1, 6, 15, 19, "a=b c", 3, 0}},
        {8, "Date=03.06.2018", {26145, 1, 6, 15, 19, "", 3, 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(Read(ReplaceLine(kGoodHeader, c.row, c.line)), c.expected) << c.line;
}

TEST(ReadFirmwareHeader, CrLfLinesReadAlike) {
    std::string crlf;
    for (const char c : std::string(kGoodHeader)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(Read(crlf), Read(kGoodHeader));
}

// The rows before a failing one are stored; the failing row and those after it keep what was there. A
// number outside 16 bits fails like one that is no number, so no header can wrap round to another board.
TEST(ReadFirmwareHeader, FailureLeavesEarlierRowsStored) {
    const TBl3FileHeader previous{1, 2, 3, 4, 5, "old", 6, 7};
    const TBl3FileHeader classFailed{1, 2, 3, 4, 5, "old", 3, 0};
    struct Case {
        const char* name;
        std::string content;
        TBl3FileHeader expected;
        const char* message;
    };
    const Case cases[] = {
        {"trailing blank", ReplaceLine(kGoodHeader, 3, "class=26145 "), classFailed,
         "'26145 ' is not a valid integer value"},
        {"blank before =", ReplaceLine(kGoodHeader, 3, "class =26145"), classFailed,
         "header field \"class\" (line 3) is missing or empty"},
        {"empty value", ReplaceLine(kGoodHeader, 3, "class="), classFailed,
         "header field \"class\" (line 3) is missing or empty"},
        {"other-case key",
         ReplaceLine(kGoodHeader, 6, "Platform=15"),
         {26145, 1, 6, 4, 5, "old", 3, 0},
         "header field \"platform\" (line 6) is missing or empty"},
        {"five lines",
         "bootloader=3\nbootloader version=0\nclass=26145\nversionH=1\nversionL=6\n",
         {26145, 1, 6, 4, 5, "old", 3, 0},
         "header field \"platform\" (line 6) is missing or empty"},
        {"empty file", "", previous, "the file is empty"},
        // Without its first line every row would meet its neighbour's line: nothing is read at all.
        {"first line missing", std::string(kGoodHeader).substr(std::string(kGoodHeader).find('\n') + 1), previous,
         "header field \"bootloader\" (line 1) is missing"},
        {"blank line first", "\n" + std::string(kGoodHeader), previous,
         "header field \"bootloader\" (line 1) is missing"},
        {"first line without =", ReplaceLine(kGoodHeader, 1, "3"), previous,
         "header field \"bootloader\" (line 1) is missing"},
        {"first key in another case", ReplaceLine(kGoodHeader, 1, "Bootloader=3"), previous,
         "header field \"bootloader\" (line 1) is missing"},
        {"byte order mark of another encoding", "\xFF\xFE" + std::string(kGoodHeader), previous,
         "header field \"bootloader\" (line 1) is missing"},
        {"print above 16 bits",
         ReplaceLine(kGoodHeader, 7, "print=65555"),
         {26145, 1, 6, 15, 5, "old", 3, 0},
         "'65555' is out of range for \"print\" (-32768 to 65535)"},
        {"class 65536", ReplaceLine(kGoodHeader, 3, "class=65536"), classFailed,
         "'65536' is out of range for \"class\" (-32768 to 65535)"},
        {"class $10000", ReplaceLine(kGoodHeader, 3, "class=$10000"), classFailed,
         "'$10000' is out of range for \"class\" (-32768 to 65535)"},
        {"class 70000", ReplaceLine(kGoodHeader, 3, "class=70000"), classFailed,
         "'70000' is out of range for \"class\" (-32768 to 65535)"},
        {"class -32769, below 16 bits", ReplaceLine(kGoodHeader, 3, "class=-32769"), classFailed,
         "'-32769' is out of range for \"class\" (-32768 to 65535)"},
        {"print -65535, which 16 bits would make 1",
         ReplaceLine(kGoodHeader, 7, "print=-65535"),
         {26145, 1, 6, 15, 5, "old", 3, 0},
         "'-65535' is out of range for \"print\" (-32768 to 65535)"},
        {"versionH most negative",
         ReplaceLine(kGoodHeader, 4, "versionH=-2147483648"),
         {26145, 2, 3, 4, 5, "old", 3, 0},
         "'-2147483648' is out of range for \"versionH\" (-32768 to 65535)"},
        {"bootloader version beyond 32 bits",
         ReplaceLine(kGoodHeader, 2, "bootloader version=4294967296"),
         {1, 2, 3, 4, 5, "old", 3, 7},
         "'4294967296' is not a valid integer value"},
    };
    for (const Case& c : cases) {
        std::istringstream in(c.content);
        TextLineReader reader(in);
        TBl3FileHeader header = previous;
        try {
            ReadFirmwareHeader(reader, header);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), c.message) << c.name;
        }
        EXPECT_EQ(header, c.expected) << c.name;
    }
}

TEST(ReadFirmwareHeader, SevenLinesReadTheDateAsEmpty) {
    std::string seven = kGoodHeader;
    seven = seven.substr(0, seven.rfind("date="));
    EXPECT_EQ(Read(seven, {1, 2, 3, 4, 5, "old", 6, 7}), (TBl3FileHeader{26145, 1, 6, 15, 19, "", 3, 0}));
}

}  // namespace
}  // namespace vantrel::firmware
