// The fuzz targets' properties over their seed corpora and over every input a fuzzing run found, in the
// ordinary build: a finding stays fixed, and the targets' checks keep compiling without clang.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/notify.h"
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

const Target kTargets[] = {{"hex_line", &CheckHexLine}, {"image_file", &CheckImageFile}, {"worker_replies", &WorkerReplies}};

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

}  // namespace
}  // namespace vantrel::fuzz
