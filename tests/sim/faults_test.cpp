#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "link/command_frame.h"
#include "link/hex_record.h"
#include "sim/faults.h"
#include "sim/logger_model.h"
#include "sim/state_file.h"
#include "tests/sim/sim_test_support.h"

namespace vantrel::sim {
namespace {

using namespace std::chrono_literals;
using namespace testing;

LoggerConfig WithFaults(std::vector<Fault> faults, std::uint64_t seed = 7, Mode mode = Mode::Application) {
    LoggerConfig config;
    config.initialMode = mode;
    config.faults = {seed, std::move(faults)};
    return config;
}

// The replies to three identifies in a row, each taken before the next is asked.
std::vector<Frame> ThreeIdentifies(LoggerModel& model) {
    std::vector<Frame> replies;
    for (int i = 0; i < 3; ++i) {
        model.Receive(kIdentifyFrame, Micros(i * 1'000'000));
        replies.push_back(model.TakeOutput(Micros(i * 1'000'000 + 999'999)));
        model.DiscardOutput(Micros(i * 1'000'000 + 999'999));
    }
    return replies;
}

int DifferingBytes(const Frame& a, const Frame& b) {
    int differ = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) differ += a[i] != b[i];
    return differ;
}

TEST(FaultTest, FrameReplyFaultsHitTheSecondIdentifyOnly) {
    struct Case {
        const char* name;
        Fault fault;
        std::function<void(const Frame&)> check;
        Frame third = kInstalledReply;
    };
    Frame twice = kInstalledReply;
    twice.insert(twice.end(), kInstalledReply.begin(), kInstalledReply.end());
    const std::vector<Case> cases = {
        {"no reply", {.kind = FaultKind::NoReply, .nth = 2}, [](const Frame& r) { EXPECT_TRUE(r.empty()); }},
        {"short",
         {.kind = FaultKind::ShortReply, .nth = 2, .count = 1},
         [](const Frame& r) { EXPECT_EQ(r, Frame(kInstalledReply.begin(), kInstalledReply.end() - 1)); }},
        {"bad CRC",
         {.kind = FaultKind::BadCheck, .nth = 2},
         [](const Frame& r) {
             ASSERT_EQ(r.size(), 8u);
             EXPECT_TRUE(std::equal(r.begin(), r.begin() + 7, kInstalledReply.begin()));
             EXPECT_FALSE(link::FrameCrcValid(r.data()));
         }},
        {"error bit",
         {.kind = FaultKind::ErrorBit, .nth = 2},
         [](const Frame& r) {
             ASSERT_EQ(r.size(), 8u);
             EXPECT_NE(r[0] & link::kReplyErrorBit, 0);
             EXPECT_TRUE(link::FrameCrcValid(r.data()));
         }},
        {"corrupt at 3",
         {.kind = FaultKind::CorruptByte, .nth = 2, .position = 3},
         [](const Frame& r) {
             ASSERT_EQ(r.size(), 8u);
             EXPECT_NE(r[3], kInstalledReply[3]);
             EXPECT_EQ(DifferingBytes(r, kInstalledReply), 1);
         }},
        {"garbage",
         {.kind = FaultKind::Garbage, .nth = 2, .count = 3},
         [](const Frame& r) {
             ASSERT_EQ(r.size(), 11u);
             EXPECT_EQ(Frame(r.begin() + 3, r.end()), kInstalledReply);
         }},
        // A purge cannot stop what the logger has not sent yet: the late reply comes with the next one.
        {"late",
         {.kind = FaultKind::LateReply, .nth = 2, .delay = 1500ms},
         [](const Frame& r) { EXPECT_TRUE(r.empty()) << "not there within the second it is asked in"; },
         twice},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoggerModel model(WithFaults({c.fault}));
        const std::vector<Frame> replies = ThreeIdentifies(model);
        EXPECT_EQ(replies[0], kInstalledReply);
        c.check(replies[1]);
        EXPECT_EQ(replies[2], c.third);
    }
}

TEST(FaultTest, OccurrenceZeroHitsEveryRequest) {
    LoggerModel model(WithFaults({{.kind = FaultKind::NoReply, .nth = 0}}));
    for (const Frame& reply : ThreeIdentifies(model)) EXPECT_TRUE(reply.empty());
}

TEST(FaultTest, LateReplyComesAfterTheDelay) {
    LoggerModel model(WithFaults({{.kind = FaultKind::LateReply, .nth = 1, .delay = 300ms}}));
    model.Receive(kIdentifyFrame, 0us);
    EXPECT_TRUE(model.TakeOutput(299ms).empty());
    EXPECT_EQ(model.TakeOutput(300ms), kInstalledReply);
}

TEST(FaultTest, RecordReplyFaults) {
    struct Case {
        const char* name;
        Fault fault;
        std::size_t length;
        bool parses;
    };
    const std::vector<Case> cases = {
        {"short", {.kind = FaultKind::ShortReply, .request = RequestKind::Identity, .count = 1}, 22, false},
        {"bad checksum", {.kind = FaultKind::BadCheck, .request = RequestKind::Identity}, 23, false},
        {"corrupt", {.kind = FaultKind::CorruptByte, .request = RequestKind::Identity, .position = 12}, 23, false},
        {"no reply", {.kind = FaultKind::NoReply, .request = RequestKind::Identity}, 0, false},
        {"other kind untouched", {.kind = FaultKind::NoReply, .request = RequestKind::ReadBlock}, 23, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoggerModel model(WithFaults({c.fault}, 7, Mode::Bootloader));
        model.Receive(Bytes(kIdentityLine), 0us);
        const std::string reply = Text(model.TakeOutput(Micros::max()));
        EXPECT_EQ(reply.size(), c.length);
        link::HexRecord record;
        EXPECT_EQ(link::ParseHexLine(reply, record), c.parses);
    }
}

TEST(FaultTest, SeededFaultsAreReproducible) {
    const std::vector<Fault> faults = {
        {.kind = FaultKind::CorruptByte, .nth = 0},
        {.kind = FaultKind::Garbage, .nth = 0, .count = 5},
    };
    LoggerModel first(WithFaults(faults, 42));
    LoggerModel again(WithFaults(faults, 42));
    LoggerModel other(WithFaults(faults, 43));
    const auto a = ThreeIdentifies(first);
    EXPECT_EQ(a, ThreeIdentifies(again));
    EXPECT_NE(a, ThreeIdentifies(other));
    for (const Frame& reply : a) {
        ASSERT_EQ(reply.size(), 13u);
        EXPECT_EQ(DifferingBytes(Frame(reply.begin() + 5, reply.end()), kInstalledReply), 1);
    }
}

class RecordFaultTest : public ::testing::Test {
protected:
    void Make(std::vector<Fault> faults) { model.emplace(WithFaults(std::move(faults), 9, Mode::Bootloader)); }

    void Begin() {
        model->Receive(Bytes(kBeginLine), at += 1ms);
        model->TakeOutput(Micros::max());
    }

    // Sends records 1..n since begin and returns their echoes.
    std::vector<std::string> Records(int n) {
        std::vector<std::string> echoes;
        for (int j = 1; j <= n; ++j) {
            model->Receive(Bytes(SyntheticRecord(static_cast<std::uint16_t>(0x0400 + j))), at += 1ms);
            echoes.push_back(Text(model->TakeOutput(Micros::max())));
        }
        return echoes;
    }

    std::optional<LoggerModel> model;
    Micros at{0};
};

TEST_F(RecordFaultTest, WrongEchoIsAValidRecordThatDiffers) {
    for (const bool always : {false, true}) {
        SCOPED_TRACE(always ? "always" : "once");
        Make({{.kind = FaultKind::WrongEcho, .request = RequestKind::DataRecord, .nth = 3, .always = always}});
        for (int job = 1; job <= 2; ++job) {
            Begin();
            const std::vector<std::string> echoes = Records(4);
            const std::string sent = SyntheticRecord(0x0403);
            const bool wrong = job == 1 || always;
            EXPECT_EQ(echoes[2] != sent, wrong) << "job " << job;
            link::HexRecord record;
            EXPECT_TRUE(link::ParseHexLine(echoes[2], record));
            EXPECT_EQ(echoes[2].size(), sent.size());
            EXPECT_EQ(echoes[3], SyntheticRecord(0x0404));
        }
    }
}

TEST_F(RecordFaultTest, PowerLossThenRestartFromTheStateFileComesBackInTheBootloader) {
    Make({{.kind = FaultKind::DeadLine, .request = RequestKind::DataRecord, .nth = 3}});
    Begin();
    const std::vector<std::string> echoes = Records(4);
    EXPECT_FALSE(echoes[1].empty());
    EXPECT_TRUE(echoes[2].empty());
    EXPECT_TRUE(echoes[3].empty());
    EXPECT_TRUE(model->PoweredOff());
    model->Receive(kIdentifyFrame, at += 1s);
    EXPECT_TRUE(model->TakeOutput(Micros::max()).empty());

    const std::string path = ScratchPath("vantrel-sim-state");
    const Result<> saved = SaveStateFile(*model, path);
    ASSERT_TRUE(saved) << saved.Error();

    LoggerModel restarted;  // would start its application if the state did not say otherwise
    const Result<> loaded = LoadStateFile(restarted, path);
    ASSERT_TRUE(loaded) << loaded.Error();
    std::filesystem::remove(path);
    EXPECT_EQ(restarted.CurrentMode(), Mode::Bootloader);
    EXPECT_EQ(restarted.ProgrammedSinceBegin(), (std::set<std::uint16_t>{0x0401, 0x0402}));
    EXPECT_EQ(restarted.ReadBlock(0x0402), model->ReadBlock(0x0402));
    EXPECT_EQ(restarted.ReadBlock(0x0403)[0], 0xFF);
    restarted.Receive(kIdentifyFrame, 0us);
    const Frame reply = restarted.TakeOutput(Micros::max());
    ASSERT_EQ(reply.size(), 8u);
    EXPECT_EQ(link::MakeWord(reply[2], reply[3]), firmware::kBootloader3Class);
}

TEST(FaultTest, StateThatIsNotOneIsRefused) {
    LoggerModel model;
    EXPECT_EQ(model.RestoreState("hello\n").Error(), "not a simulator state");
    const Result<> malformed = model.RestoreState("vantrel-sim-state 1\nblock 0060 12\n");
    EXPECT_FALSE(malformed);
    EXPECT_NE(malformed.Error().find("line 2"), std::string::npos);
    EXPECT_EQ(model.CurrentMode(), Mode::Application);
}

TEST(FaultTest, NeverEnterBootloaderAndOtherClassAfterStart) {
    LoggerModel stubborn(WithFaults({{.kind = FaultKind::NeverEnterBootloader}}));
    stubborn.Receive(kEnterBootloaderFrame, 0us);
    stubborn.AdvanceTo(1s);
    EXPECT_EQ(stubborn.CurrentMode(), Mode::Application);

    LoggerModel other(WithFaults({{.kind = FaultKind::OtherClassAfterStart, .value = 0x1111}}, 7, Mode::Bootloader));
    Micros at{0};
    const SyntheticImage image = MakeImage(kNewClass, kNewVersion, 2);
    other.Receive(Bytes(kBeginLine), at += 1ms);
    for (const std::string& line : image.records) other.Receive(Bytes(line), at += 1ms);
    other.Receive(Bytes(image.vectorRecord), at += 1ms);
    other.Receive(Bytes(kStartLine), at += 1ms);
    other.TakeOutput(Micros::max());
    other.Receive(kIdentifyFrame, at + 1s);
    const Frame reply = other.TakeOutput(Micros::max());
    ASSERT_EQ(reply.size(), 8u);
    EXPECT_EQ(link::MakeWord(reply[2], reply[3]), 0x1111);
}

TEST(FaultTest, ParsesTheCommandLineForms) {
    struct Case {
        const char* text;
        FaultKind kind;
        RequestKind request;
        int nth;
    };
    const std::vector<Case> good = {
        {"no-reply:identify:3", FaultKind::NoReply, RequestKind::Identify, 3},
        {"no-reply:data:all", FaultKind::NoReply, RequestKind::DataRecord, 0},
        {"short:identity", FaultKind::ShortReply, RequestKind::Identity, 0},
        {"corrupt:readblock:1:5", FaultKind::CorruptByte, RequestKind::ReadBlock, 1},
        {"bad-check:begin:2", FaultKind::BadCheck, RequestKind::Begin, 2},
        {"error-bit:1", FaultKind::ErrorBit, RequestKind::Identify, 1},
        {"garbage:identify:1:7", FaultKind::Garbage, RequestKind::Identify, 1},
        {"late:identify:2:400", FaultKind::LateReply, RequestKind::Identify, 2},
        {"wrong-echo:12:always", FaultKind::WrongEcho, RequestKind::DataRecord, 12},
        {"no-bootloader", FaultKind::NeverEnterBootloader, RequestKind::Identify, 0},
        {"other-class:0x1234", FaultKind::OtherClassAfterStart, RequestKind::Identify, 0},
        {"dead-from:100", FaultKind::DeadLine, RequestKind::DataRecord, 100},
    };
    for (const Case& c : good) {
        const Result<Fault> fault = ParseFault(c.text);
        ASSERT_TRUE(fault) << c.text << ": " << fault.Error();
        EXPECT_EQ(fault->kind, c.kind) << c.text;
        EXPECT_EQ(fault->request, c.request) << c.text;
        EXPECT_EQ(fault->nth, c.nth) << c.text;
    }
    EXPECT_EQ(ParseFault("corrupt:readblock:1:5")->position, 5);
    EXPECT_EQ(ParseFault("garbage:identify:1:7")->count, 7);
    EXPECT_EQ(ParseFault("late:identify:2:400")->delay, 400ms);
    EXPECT_TRUE(ParseFault("wrong-echo:12:always")->always);
    EXPECT_EQ(ParseFault("other-class:0x1234")->value, 0x1234);

    for (const char* bad : {"", "bogus", "no-reply", "no-reply:everything", "late:identify:1", "wrong-echo:0",
                            "dead-from:x", "other-class:70000", "no-bootloader:1", "short:data:-1"}) {
        const Result<Fault> fault = ParseFault(bad);
        EXPECT_FALSE(fault) << bad;
        EXPECT_FALSE(fault.Error().empty()) << bad;
    }
}

}  // namespace
}  // namespace vantrel::sim
