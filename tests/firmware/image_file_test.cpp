#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "firmware/catalogue.h"
#include "firmware/image_file.h"
#include "temp_dir.h"

namespace vantrel::firmware {
namespace {

using Lines = std::vector<std::string>;
using testing::TempDir;

constexpr const char* kHeader =
    "bootloader=3\n"
    "bootloader version=0\n"
    "class=26145\n"
    "versionH=1\n"
    "versionL=6\n"
    "platform=15\n"
    "print=19\n"
    "date=03.06.2018 18:51:00\n";

const TBl3FileHeader kHeaderRecord{26145, 1, 6, 15, 19, "03.06.2018 18:51:00", 3, 0};

constexpr const char* kData0200 =
    ":40020000000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F202122232425262728292A2B2C2D2E2F"
    "303132333435363738393A3B3C3D3E3FDE";

class ImageFileTest : public ::testing::Test {
protected:
    TempDir dir_;
};

TEST_F(ImageFileTest, RecordLinesAreTheLinesWithoutEquals) {
    struct Case {
        const char* name;
        std::string body;  // after the eight header lines
        Lines lines;
        std::string before = "";  // before the header
    };
    const std::string eof = ":00000001FF";
    const Case cases[] = {
        {"data and end", std::string(kData0200) + "\n" + eof + "\n", {kData0200, eof}},
        {"CR LF endings", std::string(kData0200) + "\r\n" + eof + "\r\n", {kData0200, eof}},
        {"no final line break", std::string(kData0200) + "\n" + eof, {kData0200, eof}},
        {"header line among records", std::string(kData0200) + "\nclass=1\n" + eof + "\n", {kData0200, eof}},
        {"note with = anywhere", "note: built = ok\n" + eof + "\n", {eof}},
        {"note without =", "built by hand\n" + eof + "\n", {"built by hand", eof}},
        {"blank lines", "\n" + std::string(kData0200) + "\n\n" + eof + "\n\n", {"", kData0200, "", eof, ""}},
        {"lower case kept as it is", ":00000001ff\n", {":00000001ff"}},
        {"nothing after the header", "", {}},
        {"UTF-8 byte order mark", eof + "\r\n", {eof}, "\xEF\xBB\xBF"},
    };
    for (const Case& c : cases) {
        const std::string path = dir_.Write("image.txt", c.before + kHeader + c.body);
        const FileImage image = LoadFileImage(path);
        EXPECT_EQ(image.lines, c.lines) << c.name;
        EXPECT_EQ(image.header, kHeaderRecord) << c.name;
        EXPECT_EQ(image.lineNumbers.size(), image.lines.size()) << c.name;
    }
}

TEST_F(ImageFileTest, HeaderLineWithoutEqualsIsAlsoARecordLine) {
    std::string content = kHeader;
    content.replace(content.find("date="), 5, "");  // the date line lost its key
    const FileImage image = LoadFileImage(dir_.Write("image.txt", content + ":00000001FF\n"));
    EXPECT_EQ(image.header.qel_date, "");
    EXPECT_EQ(image.header.qel_class, 26145);
    EXPECT_EQ(image.lines, (Lines{"03.06.2018 18:51:00", ":00000001FF"}));
    // Where each record line stands in the file: the eighth, then the ninth.
    EXPECT_EQ(image.lineNumbers, (std::vector<std::uint32_t>{8, 9}));
}

TEST_F(ImageFileTest, HeaderOnly) {
    EXPECT_EQ(LoadFileImageHeader(dir_.Write("image.txt", std::string(kHeader) + ":00000001FF\n")), kHeaderRecord);
}

// Every refused file gives one error that names the file and the problem, and nothing of itself.
TEST_F(ImageFileTest, BadFilesGiveAClearError) {
    const std::string dataLine = std::string(kData0200) + "\n";
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 151 + 7) % 256));
    garbage[100] = '\n';  // a few line breaks, no "=" before the first of them
    const std::string bigFile = (dir_.Path() / "huge.txt").string();
    {
        dir_.Write("huge.txt", kHeader);
        std::filesystem::resize_file(bigFile, kMaxImageFileSize + 1);  // sparse
    }
    std::filesystem::create_directory(dir_.Path() / "folder.txt");

    struct Case {
        const char* name;
        std::string path;
        bool conversion;  // EConvertError rather than EInOutError
        std::string problem;
        bool headerReads = false;  // the fault lies beyond the header, so reading the header alone succeeds
    };
    const Case cases[] = {
        {"missing", (dir_.Path() / "firmware.txt").string(), false, "No such file or directory"},
        {"directory", (dir_.Path() / "folder.txt").string(), false, "Is a directory"},
        {"too large", bigFile, false, "File too large (16777217 bytes, at most 16777216)"},
        {"empty", dir_.Write("empty.txt", ""), true, "the file is empty"},
        {"binary garbage", dir_.Write("garbage.bin", garbage), true, "\"bootloader\" (line 1) is missing"},
        // The first line deleted, or pushed down by a blank line: refused before any later row is misread.
        {"no bootloader line",
         dir_.Write("nobl.txt", std::string(kHeader).substr(std::string(kHeader).find('\n') + 1) + dataLine), true,
         "header field \"bootloader\" (line 1) is missing"},
        {"blank first line", dir_.Write("blank.txt", "\n" + std::string(kHeader) + dataLine), true,
         "header field \"bootloader\" (line 1) is missing"},
        {"endless header line", dir_.Write("endless1.txt", std::string(200000, 'A')), false,
         "line longer than 65536 characters"},
        {"endless record line",
         dir_.Write("endless2.txt", kHeader + dataLine + std::string(100000, '0') + "\n:00000001FF\n"), false,
         "line longer than 65536 characters", true},
        {"header fails to convert", dir_.Write("bad.txt", std::string(kHeader).replace(34, 6, "c1ass=")), true,
         "header field \"class\" (line 3) is missing or empty"},
        {"print out of range", dir_.Write("print.txt", std::string(kHeader).replace(86, 2, "65555")), true,
         "'65555' is out of range for \"print\" (-32768 to 65535)"},
        {"class abc", dir_.Write("abc.txt", std::string(kHeader).replace(40, 5, "abc")), true,
         "'abc' is not a valid integer value"},
    };
    for (const Case& c : cases) {
        for (const bool headerOnly : {false, true}) {
            if (headerOnly && c.headerReads) {
                EXPECT_NO_THROW(LoadFileImageHeader(c.path)) << c.name;
                continue;
            }
            try {
                if (headerOnly) {
                    LoadFileImageHeader(c.path);
                } else {
                    LoadFileImage(c.path);
                }
                ADD_FAILURE() << c.name << ": no error";
            } catch (const EConvertError& e) {
                EXPECT_TRUE(c.conversion) << c.name << ": " << e.what();
                EXPECT_EQ(std::string(e.what()).rfind(c.path + ": ", 0), 0u) << e.what();
                EXPECT_NE(std::string(e.what()).find(c.problem), std::string::npos) << e.what();
            } catch (const EInOutError& e) {
                EXPECT_FALSE(c.conversion) << c.name << ": " << e.what();
                EXPECT_EQ(std::string(e.what()), c.path + ": " + c.problem);
            }
        }
    }
}

TEST_F(ImageFileTest, UnreadableFile) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows file permissions have no mode bits that keep the owner from reading";
#else
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
#endif
    const std::string path = dir_.Write("locked.txt", kHeader);
    std::filesystem::permissions(path, std::filesystem::perms::none);
    EXPECT_THROW(LoadFileImage(path), EInOutError);
}

}  // namespace
}  // namespace vantrel::firmware
