#include <gtest/gtest.h>

#include "firmware/code_tables.h"
#include "firmware/firmware_info.h"
#include "link/command_frame.h"
#include "link/hex_record.h"
#include "sim/logger_model.h"
#include "tests/sim/sim_test_support.h"

namespace vantrel::sim {
namespace {

using namespace std::chrono_literals;
using namespace testing;

// Feeds a request at `at` and takes whatever the model has sent by `until`.
Frame Ask(LoggerModel& model, const Frame& request, Micros at, Micros until = Micros::max()) {
    model.Receive(request, at);
    return model.TakeOutput(until);
}

std::string AskLine(LoggerModel& model, const std::string& line, Micros at) {
    return Text(Ask(model, Bytes(line), at));
}

LoggerConfig InBootloader() {
    LoggerConfig config;
    config.initialMode = Mode::Bootloader;
    config.identity.info = 0x1234;
    return config;
}

TEST(LoggerModelTest, ApplicationAnswersIdentifyWithClassAndVersion) {
    LoggerModel model;
    const Frame reply = Ask(model, kIdentifyFrame, 0us);
    EXPECT_EQ(reply, kInstalledReply);
    EXPECT_TRUE(link::FrameCrcValid(reply.data()));
    EXPECT_EQ(reply[0] & link::kReplyErrorBit, 0);
}

TEST(LoggerModelTest, FramesThatAreNotUnderstoodGetNoReply) {
    const std::vector<std::pair<const char*, Frame>> cases = {
        {"zero frame", Frame(8, 0)},
        {"bad CRC", {0x81, 0, 0, 0, 0, 0, 0, 0xAB}},
        {"unknown command", Sealed({0x85, 0, 0, 0, 0, 0, 0, 0})},
        {"wrong entry pattern", Sealed({0x82, 0x3C, 0x17, 0x6E, 0x2C, 0, 0, 0})},
        {"entry pattern with non-zero tail", Sealed({0x82, 0x3C, 0x17, 0x6E, 0x2B, 0, 1, 0})},
    };
    for (const auto& [name, frame] : cases) {
        LoggerModel model;
        EXPECT_TRUE(Ask(model, frame, 0us).empty()) << name;
        model.AdvanceTo(1s);
        EXPECT_EQ(model.CurrentMode(), Mode::Application) << name;
        // Still in step: the next identify is answered.
        EXPECT_EQ(Ask(model, kIdentifyFrame, 1s).size(), 8u) << name;
    }
}

TEST(LoggerModelTest, EnterBootloaderRestartsSilentlyThenAnswersAsBootloader) {
    LoggerConfig config;
    config.identity.bootloaderVersion = 0x0301;
    LoggerModel model(config);
    EXPECT_TRUE(Ask(model, kEnterBootloaderFrame, 0us).empty());
    EXPECT_EQ(model.CurrentMode(), Mode::Restarting);
    EXPECT_TRUE(Ask(model, kIdentifyFrame, 149ms).empty()) << "silent while starting up";
    const Frame reply = Ask(model, kIdentifyFrame, 150ms);
    EXPECT_EQ(reply, Sealed({0x81, 0x00, 0xC8, 0x02, 0x03, 0x01, 0x00, 0x00}));
    EXPECT_EQ(model.CurrentMode(), Mode::Bootloader);
    EXPECT_EQ(model.Received().enterBootloader, 1);
}

TEST(LoggerModelTest, IdentityReplyCarriesPlatformPrintAndInfoHighByteFirst) {
    LoggerModel model(InBootloader());
    EXPECT_EQ(AskLine(model, kIdentityLine, 0us), ":06000005000F001312348D");
}

TEST(LoggerModelTest, ReadBlockReplyHoldsUpdateInfoLowByteFirst) {
    LoggerModel model(InBootloader());
    const std::string reply = AskLine(model, ":01006005306A", 0us);
    ASSERT_EQ(reply.size(), 139u);
    EXPECT_EQ(reply.substr(0, 17), ":400060052166FEFF");
    link::HexRecord record;
    ASSERT_TRUE(link::ParseHexLine(reply, record));
    EXPECT_EQ(link::MakeWord(record.data[1], record.data[0]), kInstalledClass);
    EXPECT_EQ(link::MakeWord(record.data[3], record.data[2]), 0xFFFE);
}

TEST(LoggerModelTest, UpdateInfoBlockFollowsThePlatform) {
    const std::vector<std::pair<std::uint16_t, std::uint16_t>> cases = {
        {15, 0x60}, {14, 0x60},     {12, 0x60}, {17, 0x60}, {20, 0x60}, {22, 0x60}, {1, 0x40},   {7, 0x40},
        {10, 0x40}, {0xFFFE, 0x40}, {8, 0x64},  {11, 0x64}, {3, 0},     {18, 0},    {0x1234, 0},
    };
    for (const auto& [platform, block] : cases) {
        EXPECT_EQ(LoggerModel::UpdateInfoBlock(platform), block) << platform;
        LoggerConfig config = InBootloader();
        config.identity.platform = platform;
        config.identity.updateClass = 0x1234;
        LoggerModel model(config);
        link::HexRecord record;
        ASSERT_TRUE(link::ParseHexLine(AskLine(model, ServiceLine(link::srReadBlock, block), 0us), record));
        EXPECT_EQ(record.data[0], 0x34) << platform;
        EXPECT_EQ(record.data[1], 0x12) << platform;
    }
}

// The logger's own idea of its update-info block is kept apart from the catalogue's memory map on purpose
// (see UpdateInfoBlock); the two must name the same block for every platform code. A logger reporting
// platform 14 is read through platform 15's map by the updater, so those two must agree as well.
TEST(LoggerModelTest, UpdateInfoBlockAgreesWithTheCatalogue) {
    std::vector<std::uint16_t> disagreeing;
    for (std::uint32_t code = 0; code <= 0xFFFF; ++code) {
        const auto platform = static_cast<std::uint16_t>(code);
        firmware::MemoryMap map;
        firmware::PlatformMemoryMap(platform, map);
        const auto catalogue = map[0].StartAddress / static_cast<std::int32_t>(link::kBlockSize);
        if (LoggerModel::UpdateInfoBlock(platform) != catalogue) disagreeing.push_back(platform);
    }
    EXPECT_EQ(disagreeing, std::vector<std::uint16_t>{});
    EXPECT_EQ(LoggerModel::UpdateInfoBlock(14), LoggerModel::UpdateInfoBlock(15));
}

TEST(LoggerModelTest, BeginErasesTheApplicationButKeepsTheUpdateInfo) {
    LoggerModel model(InBootloader());
    EXPECT_EQ(AskLine(model, kBeginLine, 0us), ":0100000500FA");
    EXPECT_FALSE(model.ApplicationValid());
    ASSERT_EQ(model.Flash().size(), 1u);
    EXPECT_EQ(model.Flash().begin()->first, 0x60);
    EXPECT_EQ(model.ReadBlock(firmware::kFirmwareInfoBlock)[0], 0xFF);
}

TEST(LoggerModelTest, DataRecordIsWrittenAndEchoedCharacterForCharacter) {
    LoggerModel model(InBootloader());
    AskLine(model, kBeginLine, 0us);
    const std::string line = SyntheticRecord(0x0412);
    EXPECT_EQ(AskLine(model, line, 1ms), line);
    EXPECT_TRUE(model.ProgrammedSinceBegin().contains(0x0412));
    link::HexRecord record;
    ASSERT_TRUE(link::ParseHexLine(line, record));
    const Block block = model.ReadBlock(0x0412);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), record.data.begin()));
}

TEST(LoggerModelTest, LinesAreFoundInPiecesAndAmidNoise) {
    LoggerModel model(InBootloader());
    const std::string line = kIdentityLine;
    // Noise, then a line broken off by a new one, then the line in three pieces.
    model.Receive(Bytes("xy\r\n:0100"), 0us);
    model.Receive(Bytes(line.substr(0, 4)), 1ms);
    model.Receive(Bytes(line.substr(4, 5)), 2ms);
    model.Receive(Bytes(line.substr(9)), 3ms);
    EXPECT_EQ(Text(model.TakeOutput(Micros::max())), ":06000005000F001312348D");
    EXPECT_EQ(model.Received().identity, 1);
    EXPECT_GT(model.Received().noiseBytes, 0);
}

TEST(LoggerModelTest, AnUnfinishedUnitIsDroppedAfterASilence) {
    LoggerModel model;
    model.Receive(Frame{0x81, 0x00, 0x00}, 0us);
    // Without the reset the next identify would be read from the middle of a frame.
    EXPECT_EQ(Ask(model, kIdentifyFrame, 100ms).size(), 8u);
}

TEST(LoggerModelTest, RecordsThatAreNotRequestsGetNoReply) {
    const std::vector<std::string> lines = {
        ":0100000520DB",    // bad checksum
        ":0100000534C6",    // unknown service code
        ":00000001FF",      // end of file
        ":020000052020B9",  // service request of count 2
        ":0100000520da",    // lower-case digit
        ":0100000029D6",    // short data record
    };
    for (const std::string& line : lines) {
        LoggerModel model(InBootloader());
        EXPECT_EQ(AskLine(model, line, 0us), "") << line;
        EXPECT_EQ(AskLine(model, kIdentityLine, 1ms).size(), 23u) << "in step after " << line;
    }
}

class StartTest : public ::testing::Test {
protected:
    StartTest() : model(InBootloader()) { AskLine(model, kBeginLine, 0us); }

    void Program(const std::string& line) { ASSERT_EQ(AskLine(model, line, at += 1ms), line); }

    void Start() {
        model.Receive(Bytes(kStartLine), at += 1ms);
        EXPECT_TRUE(model.TakeOutput(Micros::max()).empty());
    }

    LoggerModel model;
    Micros at{0};
};

TEST_F(StartTest, CompleteImageStartsAndReportsItsOwnClass) {
    const SyntheticImage image = MakeImage(kNewClass, kNewVersion, 3);
    for (const std::string& line : image.records) Program(line);
    Program(image.vectorRecord);
    Start();
    EXPECT_EQ(model.ApplicationStarts(), 1);
    EXPECT_TRUE(Ask(model, kIdentifyFrame, at + 299ms).empty()) << "silent while the application starts";
    EXPECT_EQ(Ask(model, kIdentifyFrame, at + 300ms), Sealed({0x81, 0x00, 0x66, 0x22, 0x01, 0x07, 0x00, 0x00}));
    EXPECT_EQ(model.CurrentMode(), Mode::Application);
}

TEST_F(StartTest, WithoutVectorTableTheBootloaderStays) {
    for (const std::string& line : MakeImage(kNewClass, kNewVersion, 3).records) Program(line);
    Start();
    EXPECT_EQ(model.ApplicationStarts(), 0);
    EXPECT_EQ(Ask(model, kIdentifyFrame, at + 1s)[2], 0xC8);
}

TEST_F(StartTest, WithoutFirmwareInformationTheBootloaderStays) {
    const SyntheticImage image = MakeImage(kNewClass, kNewVersion, 3);
    for (std::size_t i = 0; i + 1 < image.records.size(); ++i) Program(image.records[i]);
    Program(image.vectorRecord);
    Start();
    EXPECT_EQ(model.ApplicationStarts(), 0);
    EXPECT_EQ(model.CurrentMode(), Mode::Bootloader);
}

TEST(LoggerModelTest, PacedLineTakesTenBitTimesPerByteEachWay) {
    LoggerConfig config = InBootloader();
    config.timing.paced = true;
    config.timing.programmingTime = 20ms;
    LoggerModel model(config);
    const Micros frameTime = Micros(8 * 10'000'000 / 9600);  // 8333 us
    model.Receive(kIdentifyFrame, 0us);
    EXPECT_TRUE(model.TakeOutput(2 * frameTime - 1us).size() < 8u);
    EXPECT_EQ(model.PendingOutput().back().at, 2 * frameTime);

    // A full record: 139 characters in, programming, 139 characters out.
    model.TakeOutput(Micros::max());
    const std::string line = SyntheticRecord(0x0400);
    model.Receive(Bytes(line), 1s);
    const Micros lineTime = Micros(139 * 10'000'000 / 9600);
    EXPECT_EQ(model.PendingOutput().back().at, 1s + lineTime + 20ms + lineTime);
}

// A converter between logger and host passes on a packet's worth at once and the rest when its latency
// timer runs out after the last byte; a purge empties it.
TEST(LoggerModelTest, ConverterHoldsRepliesBackUntilAPacketIsFullOrItsTimerRunsOut) {
    auto onLine = [](std::size_t bytes) { return Micros(static_cast<std::int64_t>(bytes) * 10'000'000 / 9600); };
    const std::string line = SyntheticRecord(0x0400);  // 139 characters: two full packets and 15 bytes
    const Micros echoStart = 1s + onLine(139) + 20ms;
    struct Case {
        const char* what;
        bool paced;
        Micros latency;
        std::vector<std::pair<std::size_t, Micros>> passedOn;  // the nth byte and when the host has it
    };
    const Case cases[] = {
        {"no converter, paced", true, 0ms, {{1, echoStart + onLine(1)}, {139, echoStart + onLine(139)}}},
        {"16 ms, paced",
         true,
         16ms,
         {{1, echoStart + onLine(62)},
          {62, echoStart + onLine(62)},
          {63, echoStart + onLine(124)},
          {125, echoStart + onLine(139) + 16ms},
          {139, echoStart + onLine(139) + 16ms}}},
        {"1 ms, paced: the timer runs out between bytes",
         true,
         1ms,
         {{1, echoStart + onLine(1) + 1ms}, {139, echoStart + onLine(139) + 1ms}}},
        {"16 ms, unpaced", false, 16ms, {{62, 1s}, {124, 1s}, {125, 1s + 16ms}, {139, 1s + 16ms}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoggerConfig config = InBootloader();
        config.timing.paced = c.paced;
        config.timing.usbLatency = c.latency;
        LoggerModel model(config);
        model.Receive(Bytes(line), 1s);
        const auto& pending = model.PendingOutput();
        ASSERT_EQ(pending.size(), 139u);
        for (const auto& [nth, at] : c.passedOn) EXPECT_EQ(pending[nth - 1].at, at) << nth;
    }

    LoggerConfig config = InBootloader();
    config.timing.usbLatency = 16ms;
    LoggerModel model(config);
    model.Receive(kIdentifyFrame, 0us);
    model.DiscardOutput(0us);
    model.Receive(kIdentifyFrame, 1ms);
    ASSERT_EQ(model.PendingOutput().size(), 8u);
    EXPECT_EQ(model.PendingOutput().front().at, 17ms);
    EXPECT_EQ(model.TakeOutput(17ms - 1us).size(), 0u);
    EXPECT_EQ(model.TakeOutput(17ms).size(), 8u);
}

}  // namespace
}  // namespace vantrel::sim
