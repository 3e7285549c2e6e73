// Every reply of a whole update disturbed in every way the simulated logger can disturb it: no reply, every
// truncation, every byte flipped, a wrong check, the error bit, noise before the reply, a reply just in
// time and one just too late; once (the retry must recover) and on every attempt (the job must end with the
// failure the protocol gives for that point). Whatever happens: one final notification, never success with
// a flash that differs from the image, never the start request after a failure, never a job without end.
//
// The sweep runs on a short file image (a few records and the vector-table record), so a whole job is a
// few dozen transfers; the dense part then piles a recoverable fault onto the first attempt of every
// transfer of a longer one, which is where most injections come from.
//
// Everyday run: every case of one board and a seeded sample of dense jobs. VANTREL_SWEEP=long: every case of
// every board, and dense jobs up to a million injections.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>

#include "engine/notify.h"
#include "engine/process_state.h"
#include "firmware/code_tables.h"
#include "link/command_frame.h"
#include "link/failures.h"
#include "link/link_times.h"
#include "sim/faults.h"
#include "tests/sweeps/sweep_support.h"

namespace vantrel::sweeps {
namespace {

using namespace std::chrono_literals;
using engine::Notification;
using engine::ncDone;
using engine::ncFailure;
using engine::ncProgrammingError;
using engine::ncRetryComm;
using sim::Fault;
using sim::FaultKind;
using sim::RequestKind;

// The transfers of a healthy update from application mode that the logger answers, in order.
enum class Role { Identify, IdentifyInBootloader, Identity, ReadBlock, Begin, Record, VectorRecord, Verify };

const char* RoleName(Role role) {
    switch (role) {
        case Role::Identify: return "identify";
        case Role::IdentifyInBootloader: return "identify in the bootloader";
        case Role::Identity: return "srIdentity";
        case Role::ReadBlock: return "srReadBlock";
        case Role::Begin: return "srBeginProgramming";
        case Role::Record: return "data record";
        case Role::VectorRecord: return "vector-table record";
        case Role::Verify: return "identify after the start";
    }
    return "?";
}

struct Transfer {
    Transfer(Role r, RequestKind k, int nth, int index = -1) : role(r), kind(k), occurrence(nth), recordIndex(index) {}
    Role role;
    RequestKind kind;
    int occurrence;                   // the model's count of this kind when the healthy job sent it
    int recordIndex;                  // image line of a data record
    std::vector<std::uint8_t> reply;  // the healthy reply
    bool IsFrame() const { return kind == RequestKind::Identify; }
};

// What one attempt of a transfer makes of a disturbed reply.
enum class AttemptResult { Ok, Fail, LoggerError, BadContent, Unknown };

struct Variant {
    FaultKind kind;
    int parameter = 0;  // bytes missing, byte position, bytes of noise, or delay in ms
};

std::string Describe(const Variant& v) {
    switch (v.kind) {
        case FaultKind::NoReply: return "no reply";
        case FaultKind::ShortReply: return "reply " + std::to_string(v.parameter) + " bytes short";
        case FaultKind::CorruptByte: return "byte " + std::to_string(v.parameter) + " flipped";
        case FaultKind::BadCheck: return "wrong check";
        case FaultKind::ErrorBit: return "error bit";
        case FaultKind::Garbage: return std::to_string(v.parameter) + " bytes of noise first";
        case FaultKind::LateReply: return "reply " + std::to_string(v.parameter) + " ms late";
        default: return "?";
    }
}

Fault ToFault(const Variant& v, RequestKind kind, int nth) {
    Fault fault{.kind = v.kind, .request = kind, .nth = nth};
    if (v.kind == FaultKind::ShortReply || v.kind == FaultKind::Garbage) fault.count = v.parameter;
    if (v.kind == FaultKind::CorruptByte) fault.position = v.parameter;
    if (v.kind == FaultKind::LateReply) fault.delay = std::chrono::milliseconds(v.parameter);
    return fault;
}

link::Micros Timeout(const Transfer& t) { return link::ReadTimeout(static_cast<std::uint32_t>(t.reply.size())); }

// Every way to disturb the reply of a transfer.
std::vector<Variant> VariantsFor(const Transfer& t) {
    const int length = static_cast<int>(t.reply.size());
    const int timeoutMs = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Timeout(t)).count());
    std::vector<Variant> variants{{FaultKind::NoReply},
                                  {FaultKind::BadCheck},
                                  {FaultKind::ErrorBit},
                                  {FaultKind::LateReply, timeoutMs - 1},
                                  {FaultKind::LateReply, timeoutMs + 1}};
    for (int missing = 1; missing <= length; ++missing) variants.push_back({FaultKind::ShortReply, missing});
    for (int position = 0; position < length; ++position) variants.push_back({FaultKind::CorruptByte, position});
    const std::vector<int> noise = t.IsFrame() ? std::vector<int>{1, 2, 7, 8, 9}
                                               : std::vector<int>{1, 2, length / 2, length - 1};
    for (const int count : noise) variants.push_back({FaultKind::Garbage, count});
    return variants;
}

// The oracle of one attempt. Noise before a frame reply is the one case the protocol cannot always see:
// when the first eight bytes happen to carry a valid CRC, the frame is taken, whatever it says.
AttemptResult OneAttempt(const Transfer& t, const Variant& v, std::uint64_t seed, std::size_t faultIndex,
                         int occurrence) {
    switch (v.kind) {
        case FaultKind::NoReply:
        case FaultKind::ShortReply:
        case FaultKind::BadCheck: return AttemptResult::Fail;
        case FaultKind::LateReply:
            return link::Micros(std::chrono::milliseconds(v.parameter)) > Timeout(t) ? AttemptResult::Fail
                                                                                     : AttemptResult::Ok;
        case FaultKind::ErrorBit: return t.IsFrame() ? AttemptResult::LoggerError : AttemptResult::Ok;
        case FaultKind::CorruptByte:
            // A record's first character is not part of its checksum: the reply passes the transfer and
            // only its users can tell.
            return !t.IsFrame() && v.parameter == 0 ? AttemptResult::BadContent : AttemptResult::Fail;
        case FaultKind::Garbage: {
            if (!t.IsFrame()) return AttemptResult::Fail;  // the reply's ':' lands inside the checked pairs
            std::vector<std::uint8_t> window;
            for (int k = 0; k < v.parameter; ++k) {
                window.push_back(static_cast<std::uint8_t>(sim::FaultRandom(
                    seed, faultIndex, static_cast<std::uint64_t>(occurrence), 2 + static_cast<std::uint64_t>(k))));
            }
            window.insert(window.end(), t.reply.begin(), t.reply.end());
            return link::FrameCrcValid(window.data()) ? AttemptResult::Unknown : AttemptResult::Fail;
        }
        default: return AttemptResult::Unknown;
    }
}

// What the job must end with.
struct Expectation {
    bool anyVerdict = false;  // only the invariants hold
    Notification final{ncDone, 0};
    std::optional<std::int32_t> programmingError;  // ncProgrammingError value posted just before the final
};

Expectation EndsWith(Notification final, std::optional<std::int32_t> programmingError = std::nullopt) {
    Expectation e;
    e.final = final;
    e.programmingError = programmingError;
    return e;
}

Expectation FailureAt(const Transfer& t, AttemptResult result, int lastIndex) {
    Expectation e;
    switch (result) {
        case AttemptResult::Ok: return e;
        case AttemptResult::Unknown: e.anyVerdict = true; return e;
        case AttemptResult::LoggerError: e.final = {ncFailure, link::feLoggerError}; return e;
        case AttemptResult::BadContent:
            if (t.role == Role::Identity || t.role == Role::ReadBlock) e.final = {ncFailure, link::feInvalidAnswer};
            if (t.role == Role::Record || t.role == Role::VectorRecord) {
                e.final = {ncFailure, link::feProgramming};
                e.programmingError = t.role == Role::Record ? t.recordIndex : lastIndex;
            }
            return e;  // the content of the begin acknowledgement is not looked at
        case AttemptResult::Fail:
            // Every attempt failed: read requests are sent without raising, everything else gives up on the line.
            if (t.role == Role::Identity || t.role == Role::ReadBlock) {
                e.final = {ncFailure, link::feInvalidAnswer};
            } else {
                e.final = {ncRetryComm, 0};
            }
            return e;
    }
    return e;
}

class ByteFaultSweep : public ::testing::Test {
protected:
    ByteFaultSweep() { engine::ResetProcessState(); }
    ~ByteFaultSweep() override {
        engine::ResetProcessState();
        std::printf("[ sweep    ] %llu injections in %llu jobs, %lld ms\n",
                    static_cast<unsigned long long>(injections_), static_cast<unsigned long long>(jobs_),
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_)
                            .count()));
    }
    void TearDown() override {
        RecordProperty("injections", std::to_string(injections_));
        RecordProperty("jobs", std::to_string(jobs_));
    }

    // The answered transfers of a healthy update of the image, with the healthy replies.
    static std::vector<Transfer> Baseline(const Image& image) {
        engine::ResetProcessState();
        SweepLine line(LoggerFor(image.header));
        const JobResult job = RunJobHere(line.Port(), AsFileImage(image));
        EXPECT_EQ(job.Final(), (Notification{ncDone, 0}));
        std::vector<std::vector<std::uint8_t>> replies;
        for (const auto& entry : line.Serial().Trace().Entries()) {
            if (entry.direction == sim::Direction::FromLogger && !entry.bytes.empty()) replies.push_back(entry.bytes);
        }
        std::vector<Transfer> transfers{{Role::Identify, RequestKind::Identify, 1},
                                        {Role::IdentifyInBootloader, RequestKind::Identify, 2},
                                        {Role::Identity, RequestKind::Identity, 1},
                                        {Role::ReadBlock, RequestKind::ReadBlock, 1},
                                        {Role::Begin, RequestKind::Begin, 1}};
        int ordinal = 0;
        for (int j = 0; j < image.LastIndex(); ++j) {
            if (j != image.VectorIndex()) transfers.push_back({Role::Record, RequestKind::DataRecord, ++ordinal, j});
        }
        transfers.push_back({Role::VectorRecord, RequestKind::DataRecord, ++ordinal, image.VectorIndex()});
        transfers.push_back({Role::Verify, RequestKind::Identify, 3});
        EXPECT_EQ(replies.size(), transfers.size()) << "the healthy update is not the one the sweep expects";
        for (std::size_t i = 0; i < transfers.size() && i < replies.size(); ++i) transfers[i].reply = replies[i];
        return transfers;
    }

    // Runs one job under the faults and checks it. Returns what went wrong, empty when nothing did.
    std::string RunCase(const Image& image, const std::vector<Fault>& faults, std::uint64_t seed,
                        const Expectation& expected, Role failingAt) {
        engine::ResetProcessState();
        sim::LoggerConfig config = LoggerFor(image.header);
        config.faults = {seed, faults};
        SweepLine line(config, {}, 20'000);
        const JobResult job = RunJobHere(line.Port(), AsFileImage(image));
        ++jobs_;

        std::ostringstream problems;
        if (line.Guard().Exhausted()) problems << "the job did not end; ";
        if (job.finals != 1) problems << job.finals << " final notifications; ";
        const Notification final = job.Final();
        if (!expected.anyVerdict) {
            if (final != expected.final) {
                problems << "ended " << final.code << "/" << final.value << ", expected " << expected.final.code << "/"
                         << expected.final.value << "; ";
            }
            const auto codes = job.CodesWithoutProgress();
            if (expected.programmingError &&
                (codes.size() < 2 || codes[codes.size() - 2] != ncProgrammingError ||
                 job.Values(ncProgrammingError) != std::vector<std::int32_t>{*expected.programmingError})) {
                problems << "no programming error for record " << *expected.programmingError << "; ";
            }
        }
        line.Inspect([&](sim::LoggerModel& m) {
            const auto& received = m.Received();
            injections_ += static_cast<std::uint64_t>(std::count_if(faults.begin(), faults.end(), [&](const Fault& f) {
                if (f.kind == FaultKind::WrongEcho) return f.nth <= received.dataRecords;
                if (f.kind == FaultKind::NeverEnterBootloader) return received.identify > 1;
                if (f.kind == FaultKind::OtherClassAfterStart) return m.ApplicationStarts() > 0;
                switch (f.request) {
                    case RequestKind::Identify: return f.nth <= received.identify;
                    case RequestKind::Identity: return f.nth <= received.identity;
                    case RequestKind::ReadBlock: return f.nth <= received.readBlock;
                    case RequestKind::Begin: return f.nth <= received.begin;
                    case RequestKind::DataRecord: return f.nth <= received.dataRecords;
                }
                return false;
            }));
            const std::string difference = FlashDifference(m, image);
            if (final.code == ncDone) {
                if (!difference.empty()) problems << "success with a flash that differs: " << difference;
                if (m.CurrentMode() != sim::Mode::Application || m.ApplicationClass() != image.header.qel_class) {
                    problems << "success without the image running; ";
                }
            } else if (failingAt != Role::Verify && (received.startApplication != 0 || m.ApplicationStarts() != 0)) {
                problems << "started after a failure; ";
            } else if (failingAt == Role::Verify && !difference.empty()) {
                problems << "flash after the start: " << difference;
            }
            return 0;
        });
        return problems.str();
    }

    // Every way to disturb every answered reply of a whole update of a short image of the built-in one.
    void SweepEveryReply(int builtIn) {
        const Image image = ShortImage(builtIn, 3);
        const std::vector<Transfer> transfers = Baseline(image);
        const std::uint64_t seed = SweepSeed(0xFA17u);

        struct Case {
            std::size_t transfer;
            Variant variant;
            bool everyAttempt;
        };
        std::vector<Case> cases;
        for (std::size_t i = 0; i < transfers.size(); ++i) {
            for (const Variant& v : VariantsFor(transfers[i])) {
                cases.push_back({i, v, false});
                cases.push_back({i, v, true});
            }
        }

        for (const Case& c : cases) {
            const Transfer& t = transfers[c.transfer];
            std::vector<Fault> faults;
            Expectation expected;
            // Each attempt that is hit gets its own fault, so the oracle can follow each one's noise.
            const int attempts = c.everyAttempt ? link::kTransferAttempts : 1;
            for (int a = 0; a < attempts; ++a) faults.push_back(ToFault(c.variant, t.kind, t.occurrence + a));
            // The transfer ends at the first attempt that is not a plain failure; one failed attempt alone is
            // recovered by the retry.
            AttemptResult result = AttemptResult::Fail;
            for (int a = 0; a < attempts && result == AttemptResult::Fail; ++a) {
                result = OneAttempt(t, c.variant, seed, static_cast<std::size_t>(a), t.occurrence + a);
            }
            if (!c.everyAttempt && result == AttemptResult::Fail) result = AttemptResult::Ok;
            expected = FailureAt(t, result, image.LastIndex());
            const Role failingAt = expected.final.code == ncDone && !expected.anyVerdict ? Role::Verify : t.role;
            Check("image " + std::to_string(builtIn) + ", " + RoleName(t.role) + " " + std::to_string(t.occurrence) +
                      ", " + Describe(c.variant) + (c.everyAttempt ? ", every attempt" : ", once"),
                  RunCase(image, faults, seed, expected, failingAt));
        }
    }

    void Check(const std::string& what, const std::string& problem) {
        if (problem.empty() || failures_ >= kMaxReportedFailures) return;
        ++failures_;
        ADD_FAILURE() << what << ": " << problem;
    }

    static constexpr int kMaxReportedFailures = 10;
    std::uint64_t injections_ = 0;
    std::uint64_t jobs_ = 0;
    int failures_ = 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

TEST_F(ByteFaultSweep, EveryReplyDisturbedOnceOrOnEveryAttempt) {
    // Every case of image 1 in the everyday run (a few seconds); the long run adds the other boards.
    for (const int builtIn : LongSweep() ? std::vector<int>{1, 2, 3, 4} : std::vector<int>{1}) SweepEveryReply(builtIn);
}

// The faults that are about the logger's behaviour rather than one reply.
TEST_F(ByteFaultSweep, WrongEchoesAndForeignLoggersEndWithTheirFailure) {
    const Image image = ShortImage(1, 3);
    const int n = image.LastIndex();
    struct Case {
        std::string name;
        std::vector<Fault> faults;
        Expectation expected;
        Role failingAt;
    };
    std::vector<Case> cases{
        {"logger that stays in its application",
         {{.kind = FaultKind::NeverEnterBootloader}},
         EndsWith({ncFailure, link::feNoUpdate}),
         Role::Identify},
        {"another class after the start",
         {{.kind = FaultKind::OtherClassAfterStart, .value = 0x6622}},
         EndsWith({ncFailure, link::feNotVerified}),
         Role::Verify},
    };
    // Record k (1-based on the wire) echoed as another valid record, once and every time.
    for (int k = 1; k <= n; ++k) {
        const int line = k < n ? (k - 1 < image.VectorIndex() ? k - 1 : k) : image.VectorIndex();
        const std::int32_t reported = k < n ? line : n;
        for (const bool always : {false, true}) {
            cases.push_back({"wrong echo of record " + std::to_string(k) + (always ? " always" : ""),
                             {{.kind = FaultKind::WrongEcho, .nth = k, .always = always}},
                             EndsWith({ncFailure, link::feProgramming}, reported),
                             Role::Record});
        }
    }
    for (const Case& c : cases) Check(c.name, RunCase(image, c.faults, 7, c.expected, c.failingAt));
}

// A recoverable fault on the first attempt of every answered transfer of a longer image: the job must
// still end verified. This is where the bulk of the injections is run.
TEST_F(ByteFaultSweep, RecoverableFaultOnEveryTransferStillEndsVerified) {
    const Image image = ShortImage(1, 60);
    const std::vector<Transfer> transfers = Baseline(image);
    const std::uint64_t target = LongSweep() ? 1'000'000 : 2'000;
    std::mt19937_64 random(SweepSeed(0xDE05Eu));
    for (std::uint64_t job = 0; injections_ < target && failures_ < kMaxReportedFailures; ++job) {
        const std::uint64_t seed = random();
        std::vector<Fault> faults;
        // Every transfer of a kind fails exactly once, so each one's first attempt is an odd occurrence.
        std::map<RequestKind, int> seen;
        for (const Transfer& t : transfers) {
            const int nth = 2 * seen[t.kind]++ + 1;
            const int length = static_cast<int>(t.reply.size());
            Variant v;
            switch (std::uniform_int_distribution<int>(0, 5)(random)) {
                case 0: v = {FaultKind::NoReply}; break;
                case 1: v = {FaultKind::ShortReply, std::uniform_int_distribution<int>(1, length)(random)}; break;
                case 2:
                    v = {FaultKind::CorruptByte,
                         std::uniform_int_distribution<int>(t.IsFrame() ? 0 : 1, length - 1)(random)};
                    break;
                case 3: v = {FaultKind::BadCheck}; break;
                case 4:
                    v = {FaultKind::LateReply,
                         static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Timeout(t)).count()) +
                             1};
                    break;
                default:
                    v = t.IsFrame()
                            ? Variant{FaultKind::NoReply}
                            : Variant{FaultKind::Garbage, std::uniform_int_distribution<int>(1, length - 1)(random)};
            }
            faults.push_back(ToFault(v, t.kind, nth));
        }
        Check("dense job " + std::to_string(job) + " (seed " + std::to_string(seed) + ")",
              RunCase(image, faults, seed, {}, Role::Verify));
    }
}

}  // namespace
}  // namespace vantrel::sweeps
