// The fuzz targets' properties over their seed corpora and over every input a fuzzing run found, in the
// ordinary build: a finding stays fixed, and the targets' checks keep compiling without clang.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "engine/notify.h"
#include "firmware/header.h"
#include "fuzz/checks/fuzz_checks.h"

namespace vantrel::fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Check = std::string (*)(std::span<const std::uint8_t>);

std::string WorkerReplies(std::span<const std::uint8_t> input) { return CheckWorkerReplies(input); }

Bytes ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Target {
    const char* name;
    Check check;
};

const Target kTargets[] = {
    {"hex_line", &CheckHexLine}, {"image_file", &CheckImageFile}, {"worker_replies", &WorkerReplies}};

TEST(FuzzRegression, SeedCorporaHoldEveryProperty) {
    for (const Target& target : kTargets) {
        const std::filesystem::path folder = std::filesystem::path(VANTREL_FUZZ_CORPUS) / target.name;
        ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            EXPECT_EQ(target.check(ReadAll(entry.path())), "") << entry.path();
        }
    }
}

// The seed of the worker target is a whole healthy job: if the harness or the protocol changed so that it
// no longer ends verified, the fuzzer would start from nothing.
TEST(FuzzRegression, HealthyJobSeedEndsVerified) {
    std::uint32_t final = 0;
    EXPECT_EQ(CheckWorkerReplies(HealthyJobReplies(), &final), "");
    EXPECT_EQ(final, engine::ncDone);

    // The same conversation with the last identification carrying another class must not be a success.
    Bytes foreign = HealthyJobReplies();
    foreign[foreign.size() - 6] ^= 0x01;  // class low byte of the last reply frame; its CRC now fails
    EXPECT_EQ(CheckWorkerReplies(foreign, &final), "");
    EXPECT_NE(final, engine::ncDone);
}

// Found by the image-file target: a line that itself ends with a CR, exactly at the reader's limit and
// ended by CR LF, lost its own CR, because the terminator's CR was skipped and the line's taken for it.
TEST(FuzzRegression, ReaderKeepsTheLinesOwnCarriageReturnAtItsLimit) {
    struct Case {
        const char* text;
        std::size_t limit;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"\r\r\n", 1, {"\r"}},                                       // the finding
        {"\r\r\n", 2, {"\r"}},                                       // the same line below the limit
        {"a\r\r\nb", 2, {"a\r", "b"}}, {"ab\r\nc", 2, {"ab", "c"}},  // a line of exactly the limit, CR LF ended
        {"ab\nc\r", 2, {"ab", "c"}},
    };
    for (const Case& c : cases) {
        std::istringstream in(c.text);
        firmware::TextLineReader reader(in, c.limit);
        std::vector<std::string> lines;
        while (!reader.AtEnd()) lines.push_back(reader.ReadLine());
        EXPECT_EQ(lines, c.lines) << "limit " << c.limit;
    }
}

}  // namespace
}  // namespace vantrel::fuzz
