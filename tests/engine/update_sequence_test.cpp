// Whole updates of a simulated logger, in virtual time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>

#include "engine/engine_times.h"
#include "engine/option_flags.h"
#include "engine/process_state.h"
#include "firmware/catalogue.h"
#include "firmware/firmware_info.h"
#include "link/cancel.h"
#include "link/failures.h"
#include "link/hex_record.h"
#include "tests/support/job_runner.h"

namespace vantrel::engine {
namespace {

using namespace std::chrono_literals;
using sim::Fault;
using sim::FaultKind;
using sim::LoggerConfig;
using sim::Mode;
using sim::RequestKind;
using testing::JobResult;
using testing::RunJob;
using testing::SimulatedLine;

LoggerConfig Logger(std::uint16_t platform = 15, std::uint16_t print = 19) {
    LoggerConfig config;
    config.identity.platform = platform;
    config.identity.print = print;
    return config;
}

LoggerConfig WithFault(LoggerConfig config, Fault fault) {
    config.faults.faults.push_back(fault);
    return config;
}

// The record lines of an image of the catalogue, its end-of-file record included.
std::vector<std::string> ImageLines(int image) {
    std::vector<std::string> lines;
    for (int j = 0; j <= firmware::GetFirmwareLineCount(image); ++j)
        lines.push_back(firmware::GetFirmwareLine(image, j));
    return lines;
}

// The blocks and data of a built-in image, as the logger's flash must hold them after the update.
std::map<std::uint16_t, sim::Block> ImageBlocks(int image) {
    std::map<std::uint16_t, sim::Block> blocks;
    std::vector<std::string> lines = ImageLines(image);
    lines.pop_back();
    for (const std::string& line : lines) {
        link::HexRecord record;
        EXPECT_TRUE(link::ParseHexLine(line, record));
        sim::Block block{};
        std::copy_n(record.data.begin(), 64, block.begin());
        blocks[static_cast<std::uint16_t>(record.addressHigh << 8 | record.addressLow)] = block;
    }
    return blocks;
}

// What the next job of a test asks for beside its port: its image file, its mode, its checks.
JobRequest& NextJob() {
    static JobRequest next;
    return next;
}

JobResult RunNextJob(const std::string& port) {
    JobRequest request = NextJob();
    request.FsPort = port;
    return RunJob(request);
}

class UpdateSequenceTest : public ::testing::Test {
protected:
    UpdateSequenceTest() {
        ResetProcessState();
        NextJob() = {};
    }
    ~UpdateSequenceTest() override {
        ResetProcessState();
        NextJob() = {};
    }

    // What every job that did not end verified must leave behind: one final notification, and a logger
    // that never saw srStartApplication, so it sits in its bootloader ready for the next job.
    static void ExpectLeftInBootloader(SimulatedLine& line, const JobResult& job) {
        EXPECT_EQ(job.finals, 1);
        EXPECT_NE(job.Final().code, ncDone);
        line.Serial().Inspect([](sim::LoggerModel& m) {
            EXPECT_EQ(m.Received().startApplication, 0);
            EXPECT_EQ(m.ApplicationStarts(), 0);
            return 0;
        });
    }
};

TEST_F(UpdateSequenceTest, FullUpdateFromApplicationMode) {
    SimulatedLine line(Logger());
    const JobResult job = RunNextJob(line.Port());
    ASSERT_EQ(job.Final(), (Notification{ncDone, 0}));
    EXPECT_EQ(job.finals, 1);
    EXPECT_EQ(job.selectedImage, 1);

    const std::vector<std::uint32_t> expectedStart{ncClass,    ncVersion,    ncClass,       ncVersion,
                                                   ncPlatform, ncPrint,      ncInfo,        ncUpdateClass,
                                                   ncUpdateId, ncCheckImage, ncUpdateStart, ncVectorTable};
    const auto codes = job.CodesWithoutProgress();
    ASSERT_GE(codes.size(), expectedStart.size());
    EXPECT_TRUE(std::equal(expectedStart.begin(), expectedStart.end(), codes.begin()));
    EXPECT_EQ(job.Values(ncClass), (std::vector<std::int32_t>{0x6621, 0xC802, 0x6621}));
    EXPECT_EQ(job.Values(ncVersion).front(), 0x0106);
    EXPECT_EQ(job.Values(ncPlatform), std::vector<std::int32_t>{15});
    EXPECT_EQ(job.Values(ncUpdateClass), std::vector<std::int32_t>{0x6621});
    EXPECT_EQ(job.Values(ncUpdateId), std::vector<std::int32_t>{0xFFFE});
    EXPECT_EQ(job.Values(ncVectorTable), (std::vector<std::int32_t>{0, 1}));

    // Progress only grows, never reaches 100, and at most once per percent.
    const auto progress = job.Values(ncProgress);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(std::adjacent_find(progress.begin(), progress.end()), progress.end());
    EXPECT_EQ(progress.back(), 98);

    // The three fixed waits of the sequence, each exactly once.
    const auto sleeps = line.Clock().Sleeps();
    for (const auto wait : {kEnterBootloaderWait, kStartApplicationDelay, kStartApplicationWait}) {
        EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), link::Micros(wait)), 1) << wait.count();
    }

    line.Serial().Inspect([](sim::LoggerModel& m) {
        for (const auto& [block, data] : ImageBlocks(1)) EXPECT_EQ(m.ReadBlock(block), data) << block;
        EXPECT_EQ(m.Received().dataRecords, 1548);
        EXPECT_EQ(m.CurrentMode(), Mode::Application);
        EXPECT_EQ(m.ApplicationClass(), 0x6621);
        return 0;
    });
    // The vector-table record is the last record programmed.
    const auto records = line.Serial().Trace().Matching("record: data");
    ASSERT_FALSE(records.empty());
    EXPECT_NE(records.back().meaning.find("0x03DF"), std::string::npos) << records.back().meaning;
}

TEST_F(UpdateSequenceTest, ImageChoiceFollowsTheBoard) {
    struct Case {
        std::uint16_t platform;
        std::uint16_t print;
        int image;
        std::uint16_t reportedPlatform;
    };
    const Case cases[] = {
        {15, 19, 1, 15}, {15, 39, 2, 15}, {21, 39, 3, 21},
        {21, 48, 4, 21}, {14, 39, 2, 15},  // platform 14 is used and reported as 15
    };
    for (const Case& c : cases) {
        ResetProcessState();
        LoggerConfig config = Logger(c.platform, c.print);
        config.initialMode = Mode::Bootloader;
        SimulatedLine line(config);
        const JobResult job = RunNextJob(line.Port());
        EXPECT_EQ(job.Final(), (Notification{ncDone, 0})) << c.platform << "/" << c.print;
        EXPECT_EQ(job.selectedImage, c.image);
        EXPECT_EQ(job.Values(ncPlatform), std::vector<std::int32_t>{c.reportedPlatform});
        // Every candidate up to the match is announced, none after it.
        std::vector<std::int32_t> checked;
        for (int i = 1; i <= c.image; ++i) checked.push_back(i);
        EXPECT_EQ(job.Values(ncCheckImage), checked);
    }
}

TEST_F(UpdateSequenceTest, LoggerAlreadyInItsBootloaderIsNotSwitched) {
    LoggerConfig config = Logger();
    config.initialMode = Mode::Bootloader;
    SimulatedLine line(config);
    const JobResult job = RunNextJob(line.Port());
    EXPECT_EQ(job.Final(), (Notification{ncDone, 0}));
    EXPECT_EQ(job.Values(ncClass).front(), 0xC802);
    EXPECT_EQ(job.Values(ncVersion).size(), 1u);
    line.Serial().Inspect([](sim::LoggerModel& m) { return m.Received().enterBootloader; });
    EXPECT_EQ(line.Serial().Trace().Matching("frame: cmdEnterBootloader").size(), 0u);
}

struct FailureCase {
    const char* name;
    std::function<LoggerConfig()> logger;
    std::function<void()> setup;  // the job's checks, mode, file image (NextJob)
    Notification final;
    std::vector<std::uint32_t> postedBeforeFinal;  // the last codes before the final one (progress left out)
    // What else the row shows about the line's traffic and the notifications, if anything.
    std::function<void(SimulatedLine&, const JobResult&)> also = {};
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class UpdateFailureTest : public UpdateSequenceTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(UpdateFailureTest, EndsWithOneVerdictAndTheLoggerInItsBootloader) {
    const FailureCase& c = GetParam();
    if (c.setup) c.setup();
    SimulatedLine line(c.logger());
    const JobResult job = RunNextJob(line.Port());
    EXPECT_EQ(job.Final(), c.final);
    if (c.final.value == link::feNotVerified) {
        // The one failure after the start: the logger runs what it was given, and says so.
        EXPECT_EQ(job.finals, 1);
    } else {
        ExpectLeftInBootloader(line, job);
    }
    const auto codes = job.CodesWithoutProgress();
    ASSERT_GE(codes.size(), c.postedBeforeFinal.size() + 1);
    EXPECT_TRUE(std::equal(c.postedBeforeFinal.rbegin(), c.postedBeforeFinal.rend(), codes.rbegin() + 1))
        << "codes before the final one differ";
    if (c.also) c.also(line, job);
}

std::vector<std::string> ImageWith(int image, const std::function<void(std::vector<std::string>&)>& change) {
    std::vector<std::string> lines = ImageLines(image);
    change(lines);
    return lines;
}

// Sets the file image (image 0) for the next job, with the header of a built-in image.
void UseFile(std::vector<std::string> lines, int headerOf = 1) {
    auto file = std::make_shared<firmware::FileImage>();
    file->header = firmware::GetFirmwareHeader(headerOf);
    file->lines = lines;
    NextJob().FileImage = std::move(file);
}

LoggerConfig InBootloader(LoggerConfig config = Logger()) {
    config.initialMode = Mode::Bootloader;
    return config;
}

const FailureCase kFailureCases[] = {
    {"foreign class with family check",
     [] {
         LoggerConfig c = Logger();
         c.identity.applicationClass = 26146;
         return c;
     },
     nullptr,
     {ncFailure, link::feNoUpdate},
     {ncClass, ncVersion}},
    {"bootloader class BL2 with family check",
     [] {
         LoggerConfig c = Logger();
         c.identity.applicationClass = 0xC801;
         return c;
     },
     nullptr,
     {ncFailure, link::feNoUpdate},
     {ncClass, ncVersion}},
    {"logger that never enters its bootloader, family check off",
     [] { return WithFault(Logger(), {.kind = FaultKind::NeverEnterBootloader}); },
     [] { NextJob().Checks.CheckFamily = false; },
     {ncFailure, link::feNoUpdate},
     {ncClass, ncVersion, ncClass, ncVersion}},
    {"unnamed platform reads no update-info block and matches nothing",
     [] { return InBootloader(Logger(23, 19)); },
     nullptr,
     {ncFailure, link::feNoMatchingImage},
     {ncUpdateId, ncCheckImage, ncCheckImage, ncCheckImage, ncCheckImage},
     [](SimulatedLine& line, const JobResult& job) {
         EXPECT_TRUE(line.Serial().Trace().Matching("record: srReadBlock").empty());
         EXPECT_EQ(job.Values(ncUpdateClass), std::vector<std::int32_t>{0xFFFF});
         EXPECT_EQ(job.Values(ncUpdateId), std::vector<std::int32_t>{0xFFFF});
     }},
    {"named platform without an update-info region asks for block zero",
     [] { return InBootloader(Logger(18, 19)); },
     nullptr,
     {ncFailure, link::feNoMatchingImage},
     {ncCheckImage},
     [](SimulatedLine& line, const JobResult&) {
         const auto requests = line.Serial().Trace().Matching("record: srReadBlock");
         ASSERT_EQ(requests.size(), 1u);
         EXPECT_EQ(std::string(requests[0].bytes.begin(), requests[0].bytes.end()), ":0100000530CA");
     }},
    {"update ID other than FFFE while checked",
     [] {
         LoggerConfig c = InBootloader();
         c.identity.updateId = 0x1234;
         return c;
     },
     nullptr,
     {ncFailure, link::feNoMatchingImage},
     {ncCheckImage, ncCheckImage, ncCheckImage, ncCheckImage}},
    {"update class of another logger while checked",
     [] {
         LoggerConfig c = InBootloader();
         c.identity.updateClass = 26000;
         return c;
     },
     nullptr,
     {ncFailure, link::feNoMatchingImage},
     {ncCheckImage}},
    {"read info only stops after the match",
     [] { return InBootloader(); },
     [] { NextJob().ReadInfoOnly = true; },
     {ncFailure, link::feInfoOnly},
     {ncUpdateId, ncCheckImage}},
    {"read info only without a match",
     [] { return InBootloader(Logger(21, 19)); },
     [] { NextJob().ReadInfoOnly = true; },
     {ncFailure, link::feNoMatchingImage},
     {ncCheckImage}},
    {"file image without end-of-file record",
     [] { return InBootloader(); },
     [] { UseFile(ImageWith(1, [](auto& l) { l.pop_back(); })); },
     {ncFailure, link::feBadLastLine},
     {ncCheckImage}},
    {"file image ending in lower case",
     [] { return InBootloader(); },
     [] { UseFile(ImageWith(1, [](auto& l) { l.back() = ":00000001ff"; })); },
     {ncFailure, link::feBadLastLine},
     {ncCheckImage}},
    {"file image with a line after the end",
     [] { return InBootloader(); },
     [] { UseFile(ImageWith(1, [](auto& l) { l.push_back(""); })); },
     {ncFailure, link::feBadLastLine},
     {ncCheckImage}},
    {"file image of the end-of-file record alone",
     [] { return InBootloader(); },
     [] { UseFile({":00000001FF"}); },
     {ncFailure, link::feBadLastLine},
     {ncCheckImage}},
    {"echo of a data record differs",
     [] {
         return WithFault(InBootloader(), {.kind = FaultKind::WrongEcho, .request = RequestKind::DataRecord, .nth = 5});
     },
     nullptr,
     {ncFailure, link::feProgramming},
     {ncUpdateStart, ncProgrammingError}},
    {"logger reports another class after the start",
     [] { return WithFault(InBootloader(), {.kind = FaultKind::OtherClassAfterStart, .value = 26146}); },
     nullptr,
     {ncFailure, link::feNotVerified},
     {ncVectorTable, ncClass}},
    {"identity request unanswered",
     [] { return WithFault(InBootloader(), {.kind = FaultKind::NoReply, .request = RequestKind::Identity}); },
     nullptr,
     {ncFailure, link::feInvalidAnswer},
     {ncClass, ncVersion}},
    {"update-info block unanswered",
     [] { return WithFault(InBootloader(), {.kind = FaultKind::NoReply, .request = RequestKind::ReadBlock}); },
     nullptr,
     {ncFailure, link::feInvalidAnswer},
     {ncClass, ncVersion}},
    {"begin unanswered",
     [] { return WithFault(InBootloader(), {.kind = FaultKind::NoReply, .request = RequestKind::Begin}); },
     nullptr,
     {ncRetryComm, 0},
     {ncCheckImage, ncUpdateStart}},
    {"dead line in the middle of programming",
     [] {
         return WithFault(InBootloader(),
                          {.kind = FaultKind::DeadLine, .request = RequestKind::DataRecord, .nth = 700});
     },
     nullptr,
     {ncRetryComm, 0},
     {ncUpdateStart, ncVectorTable}},
    {"error bit in the identify reply",
     [] { return WithFault(Logger(), {.kind = FaultKind::ErrorBit, .request = RequestKind::Identify, .nth = 1}); },
     nullptr,
     {ncFailure, link::feLoggerError},
     {}},
    {"silent logger",
     [] { return WithFault(Logger(), {.kind = FaultKind::NoReply, .request = RequestKind::Identify}); },
     nullptr,
     {ncRetryComm, 0},
     {}},
};

INSTANTIATE_TEST_SUITE_P(Failures, UpdateFailureTest, ::testing::ValuesIn(kFailureCases),
                         [](const ::testing::TestParamInfo<FailureCase>& info) {
                             std::string name = info.param.name;
                             for (char& ch : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             }
                             return name;
                         });

TEST_F(UpdateSequenceTest, RelaxedChecksLetAForeignLoggerUpdate) {
    NextJob().Checks = {.CheckFamily = false, .CheckUpdateClass = false, .CheckUpdateId = false};
    LoggerConfig config = Logger();
    config.identity.applicationClass = 26146;
    config.identity.updateClass = 26000;
    config.identity.updateId = 0x0001;
    SimulatedLine line(config);
    const JobResult job = RunNextJob(line.Port());
    EXPECT_EQ(job.Final(), (Notification{ncDone, 0}));
}

TEST_F(UpdateSequenceTest, FileImageIsTheOnlyCandidate) {
    UseFile(ImageLines(2), 2);
    SimulatedLine line(InBootloader(Logger(15, 39)));
    const JobResult job = RunNextJob(line.Port());
    EXPECT_EQ(job.Final(), (Notification{ncDone, 0}));
    EXPECT_EQ(job.Values(ncCheckImage), std::vector<std::int32_t>{0});
    EXPECT_EQ(job.selectedImage, 0);
}

// A record that cannot be converted is found before srBeginProgramming, wherever it stands: the logger
// keeps its application, and the job names the record.
TEST_F(UpdateSequenceTest, ImageDefectsAreFoundBeforeAnythingIsErased) {
    struct Case {
        const char* defect;
        std::function<void(std::vector<std::string>&)> change;  // of image 1's lines
        std::int32_t index;
    };
    const auto lowerCase = [](std::string& line) {
        std::transform(line.begin(), line.end(), line.begin(),
                       [](char c) { return static_cast<char>(std::tolower(c)); });
    };
    const Case cases[] = {
        {"wrong checksum", [](auto& l) { l[2].back() = l[2].back() == '0' ? '1' : '0'; }, 2},
        {"lower-case hex", [&](auto& l) { lowerCase(l[5]); }, 5},
        {"NUL byte", [](auto& l) { l[100][20] = '\0'; }, 100},
        {"Latin-1 byte", [](auto& l) { l[1000][30] = '\xE4'; }, 1000},
        {"count 0x41", [](auto& l) { l[7].replace(1, 2, "41"); }, 7},
        {"blank line in the middle", [](auto& l) { l.insert(l.begin() + 700, ""); }, 700},
        {"held-back vector-table record", [&](auto& l) { lowerCase(l[473]); }, 473},
        {"last record before the end", [](auto& l) { l[1547].pop_back(); }, 1547},
    };
    for (const Case& c : cases) {
        ResetProcessState();
        UseFile(ImageWith(1, c.change));
        SimulatedLine line(Logger());
        const JobResult job = RunNextJob(line.Port());
        EXPECT_EQ(job.Final(), (Notification{ncFailure, link::feConversion})) << c.defect;
        EXPECT_EQ(job.Values(ncConversionError), std::vector<std::int32_t>{c.index}) << c.defect;
        EXPECT_TRUE(job.Values(ncUpdateStart).empty()) << c.defect;
        EXPECT_TRUE(line.Serial().Trace().Matching("record: srBeginProgramming").empty()) << c.defect;
        line.Serial().Inspect([&](sim::LoggerModel& m) {
            EXPECT_EQ(m.Received().begin, 0) << c.defect;
            EXPECT_EQ(m.Received().dataRecords, 0) << c.defect;
            return 0;
        });
        ExpectLeftInBootloader(line, job);
    }
}

TEST_F(UpdateSequenceTest, RecordsThatAreNotFullDataRecordsAreOnlyCounted) {
    // A short data record and an extended-address record stand among the data records.
    UseFile(ImageWith(1, [](std::vector<std::string>& l) {
        l.insert(l.begin() + 3, ":020000040000FA");
        l.insert(l.begin() + 1, ":0400100001020304E2");
    }));
    SimulatedLine line(InBootloader());
    const JobResult job = RunNextJob(line.Port());
    EXPECT_EQ(job.Final(), (Notification{ncDone, 0}));
    line.Serial().Inspect([](sim::LoggerModel& m) {
        EXPECT_EQ(m.Received().dataRecords, 1548);
        EXPECT_EQ(m.Received().ignoredRecords, 0);
        return 0;
    });
}

TEST_F(UpdateSequenceTest, OnlyTheLastOfTwoVectorRecordsIsSent) {
    std::string firstVector;
    UseFile(ImageWith(1, [&](std::vector<std::string>& l) {
        // A second vector-table record with other data, early in the image.
        link::HexRecord record;
        link::ParseHexLine(l[473], record);
        record.data[0] ^= 0x55;
        link::BuildHexLine(record, firstVector);
        l.insert(l.begin() + 10, firstVector);
    }));
    SimulatedLine line(InBootloader());
    const JobResult job = RunNextJob(line.Port());
    EXPECT_EQ(job.Final(), (Notification{ncDone, 0}));
    EXPECT_EQ(job.Values(ncVectorTable), (std::vector<std::int32_t>{0, 0, 1}));
    EXPECT_EQ(line.Serial().Trace().Matching("record: data block 0x03DF").size(), 1u);
}

TEST_F(UpdateSequenceTest, ImageWithoutVectorRecordSkipsIt) {
    UseFile(ImageWith(1, [](std::vector<std::string>& l) { l.erase(l.begin() + 473); }));
    SimulatedLine line(InBootloader());
    const JobResult job = RunNextJob(line.Port());
    EXPECT_TRUE(job.Values(ncVectorTable).empty());
    // Without its vector table the image cannot start: the bootloader answers the check, and the update
    // is not taken for a success.
    EXPECT_EQ(job.Values(ncClass).back(), 0xC802);
    EXPECT_EQ(job.Final(), (Notification{ncFailure, link::feNotVerified}));
}

// A record whose echo differs is named by its index counted from 0; the vector record, sent last, by the
// end index. The logger has received the records up to the one that failed, and waits in its bootloader.
TEST_F(UpdateSequenceTest, WrongEchoNamesTheRecordIndex) {
    const struct {
        const char* what;
        int nth;  // the data record the logger echoes wrongly, counted from 1
        std::int32_t index;
    } cases[] = {
        {"a data record", 5, 4},
        {"the vector record, the 1548th data record the logger receives", 1548, 1548},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedLine line(WithFault(InBootloader(),
                                     {.kind = FaultKind::WrongEcho, .request = RequestKind::DataRecord, .nth = c.nth}));
        const JobResult job = RunNextJob(line.Port());
        EXPECT_EQ(job.Final(), (Notification{ncFailure, link::feProgramming}));
        EXPECT_EQ(job.Values(ncProgrammingError), std::vector<std::int32_t>{c.index});
        line.Serial().Inspect([&](sim::LoggerModel& m) {
            EXPECT_EQ(m.Received().dataRecords, c.nth);
            return 0;
        });
        ExpectLeftInBootloader(line, job);
    }
}

TEST_F(UpdateSequenceTest, CancelDuringProgrammingLeavesTheBootloader) {
    LoggerConfig config = WithFault(InBootloader(),
                                    {.kind = FaultKind::NoReply, .request = RequestKind::DataRecord, .nth = 300});
    SimulatedLine line(config);
    // The operator cancels while the updater retries record 300.
    std::thread canceller([&] {
        for (;;) {
            const bool retrying = line.Serial().Inspect(
                [](sim::LoggerModel& m) { return m.Received().dataRecords >= 301; });
            if (retrying) break;
            std::this_thread::sleep_for(1ms);
        }
        link::CancelRequested = true;
    });
    const JobResult job = RunNextJob(line.Port());
    canceller.join();
    EXPECT_EQ(job.Final(), (Notification{ncFailure, link::feCancelled}));
    ExpectLeftInBootloader(line, job);
}

TEST_F(UpdateSequenceTest, AdapterPulledDuringProgrammingEndsAtOnceWithAPortError) {
    sim::InProcessSerial::Options options;
    options.unplugOnPowerLoss = true;
    SimulatedLine line(
        WithFault(InBootloader(), {.kind = FaultKind::DeadLine, .request = RequestKind::DataRecord, .nth = 300}),
        options);
    const auto before = line.Clock().Now();
    const JobResult job = RunNextJob(line.Port());
    EXPECT_EQ(job.Final(), (Notification{ncFailure, link::feIo}));
    ExpectLeftInBootloader(line, job);
    // No retries and no time-outs after the cable is gone (five silent attempts alone would take 2.1 s).
    EXPECT_LT(line.Clock().Now() - before, link::Micros(std::chrono::seconds(1)));
}

TEST_F(UpdateSequenceTest, InterruptedUpdateIsCompletedByTheNextJob) {
    // Record 900 goes unanswered on all five attempts.
    LoggerConfig config = Logger();
    for (int attempt = 0; attempt < 5; ++attempt) {
        config.faults.faults.push_back(
            {.kind = FaultKind::NoReply, .request = RequestKind::DataRecord, .nth = 900 + attempt});
    }
    SimulatedLine line(config);
    const JobResult first = RunNextJob(line.Port());
    EXPECT_EQ(first.Final(), (Notification{ncRetryComm, 0}));
    ExpectLeftInBootloader(line, first);
    // The restarted job finds the bootloader, programs the whole image again and verifies it.
    const JobResult second = RunNextJob(line.Port());
    EXPECT_EQ(second.Final(), (Notification{ncDone, 0}));
    EXPECT_EQ(second.Values(ncClass).front(), 0xC802);
    line.Serial().Inspect([](sim::LoggerModel& m) {
        for (const auto& [block, data] : ImageBlocks(1)) EXPECT_EQ(m.ReadBlock(block), data) << block;
        return 0;
    });
}

}  // namespace
}  // namespace vantrel::engine
