// The line dies in the middle of an update, at every record and at every byte of chosen records: the job
// must end with one verdict that is not success, the logger must come back up in its bootloader without
// having been told to start anything, and the next job on a healthy line must finish the update.
//
// Cut j of an image with end-of-file record n: for j < n, record j never reaches the logger whole (the
// vector-table record goes last, so its cut comes after every other record is written); j = n cuts the
// start request, with the whole image already written.
//
// Everyday run: a seeded sample of cuts. VANTREL_SWEEP=long: every cut of every built-in image, every
// byte of the chosen records, and a hundred chains of cuts.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "engine/notify.h"
#include "engine/process_state.h"
#include "firmware/code_tables.h"
#include "link/failures.h"
#include "sim/state_file.h"
#include "tests/sweeps/sweep_support.h"

namespace vantrel::sweeps {
namespace {

using engine::Notification;
using engine::ncClass;
using engine::ncDone;
using engine::ncRetryComm;

// Where one cut happens and how: through the simulator's own dead-line fault, or byte-exact.
struct Cut {
    int j = 0;                      // image line index, as above
    std::optional<int> byteOffset;  // bytes of the line that still reach the logger; none = whole-record cut

    std::string Describe() const {
        return "cut at line " + std::to_string(j) + (byteOffset ? " after byte " + std::to_string(*byteOffset) : "");
    }
};

class InterruptionSweep : public ::testing::Test {
protected:
    InterruptionSweep() { engine::ResetProcessState(); }
    ~InterruptionSweep() override { engine::ResetProcessState(); }

    // 1-based position of image line j among the data records as they go on the wire.
    static int WireOrdinal(const Image& image, int j) {
        const int vector = image.VectorIndex();
        const int sent = image.LastIndex();  // every record line of the built-in images is a data record
        if (j == vector) return sent;
        return vector >= 0 && j > vector ? j : j + 1;
    }

    static CutPoint ToCutPoint(const Image& image, const Cut& cut) {
        CutPoint point;
        if (cut.j == image.LastIndex()) {
            point.target = CutPoint::Target::StartApplication;
        } else {
            point.nth = WireOrdinal(image, cut.j);
        }
        point.bytesThrough = static_cast<std::uint32_t>(cut.byteOffset.value_or(0));
        return point;
    }

    // A logger as it powers up: the untouched one, or the one whose flash a power loss left behind.
    static std::string PowerUp(SweepLine& line, const std::optional<std::string>& state) {
        if (!state) return {};
        const sim::Result<> restored = line.Inspect([&](sim::LoggerModel& m) { return m.RestoreState(*state); });
        return restored ? std::string() : "restore: " + restored.Error();
    }

    // One job cut as told. Returns what went wrong (empty when nothing did) and leaves the logger's state
    // at the power loss in state.
    std::string CutJob(const Image& image, const Cut& cut, std::optional<std::string>& state) {
        engine::ResetProcessState();
        sim::LoggerConfig config = LoggerFor(image.header);
        sim::InProcessSerial::Options options;
        const bool simulatorCut = !cut.byteOffset && cut.j < image.LastIndex() && !state;
        const std::string statePath = scratch_.File("state");
        if (simulatorCut) {
            std::remove(statePath.c_str());
            config.faults.faults.push_back({.kind = sim::FaultKind::DeadLine, .nth = WireOrdinal(image, cut.j)});
            options.statePath = statePath;
        }
        SweepLine line(config, options);
        if (std::string problem = PowerUp(line, state); !problem.empty()) return problem;
        if (!simulatorCut) line.Guard().CutAt(ToCutPoint(image, cut));

        const JobResult job = RunJobHere(line.Port());
        std::ostringstream problems;
        if (job.finals != 1) problems << job.finals << " final notifications; ";
        // The logger stops answering in the middle of a transfer: the job gives up on the line.
        if (job.Final() != Notification{ncRetryComm, 0}) {
            problems << "final " << job.Final().code << "/" << job.Final().value << "; ";
        }
        if (line.Guard().Exhausted()) problems << "job did not end; ";
        line.Inspect([&](sim::LoggerModel& m) {
            if (m.Received().startApplication != 0 || m.ApplicationStarts() != 0) problems << "application started; ";
            return 0;
        });

        if (simulatorCut) {
            sim::LoggerModel restored(config);
            if (const sim::Result<> loaded = sim::LoadStateFile(restored, statePath); !loaded) {
                return problems.str() + "no state at the power loss: " + loaded.Error();
            }
            state = restored.SaveState();
        } else if (line.Guard().Cut()) {
            state = line.Guard().StateAtCut();
        } else {
            problems << "the line was never cut; ";
        }
        return problems.str();
    }

    // Power back on a healthy line: the logger must sit in its bootloader, and one job must finish the update.
    std::string RecoverJob(const Image& image, const std::string& state) {
        engine::ResetProcessState();
        SweepLine line(LoggerFor(image.header));
        if (std::string problem = PowerUp(line, state); !problem.empty()) return problem;
        std::ostringstream problems;
        line.Inspect([&](sim::LoggerModel& m) {
            if (m.CurrentMode() != sim::Mode::Bootloader)
                problems << "powers up in " << sim::ModeName(m.CurrentMode()) << "; ";
            return 0;
        });
        const JobResult job = RunJobHere(line.Port());
        if (job.finals != 1) problems << job.finals << " final notifications; ";
        if (job.Final() != Notification{ncDone, 0}) {
            problems << "recovery final " << job.Final().code << "/" << job.Final().value << "; ";
        }
        const auto classes = job.Values(ncClass);
        if (classes.empty() || classes.front() != firmware::kBootloader3Class ||
            classes.back() != image.header.qel_class) {
            problems << "classes reported do not go from the bootloader to the image's; ";
        }
        line.Inspect([&](sim::LoggerModel& m) {
            const std::string difference = FlashDifference(m, image);
            if (!difference.empty()) problems << "flash: " << difference;
            if (m.CurrentMode() != sim::Mode::Application || m.ApplicationClass() != image.header.qel_class) {
                problems << "not running the image; ";
            }
            return 0;
        });
        return problems.str();
    }

    // A cut followed by the recovery; failures are reported with the cut, at most a few per sweep.
    void CutAndRecover(const Image& image, const Cut& cut) {
        ++cuts_;
        if (failures_ >= kMaxReportedFailures) return;
        std::optional<std::string> state;
        std::string problem = CutJob(image, cut, state);
        if (problem.empty()) problem = RecoverJob(image, *state);
        if (!problem.empty()) {
            ++failures_;
            ADD_FAILURE() << cut.Describe() << ": " << problem;
        }
    }

    void Report(const char* what, std::chrono::steady_clock::time_point start) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        std::printf("[ sweep    ] %s: %d cuts in %lld ms\n", what, cuts_, static_cast<long long>(ms.count()));
        RecordProperty("cuts", cuts_);
    }

    static constexpr int kMaxReportedFailures = 10;
    ScratchDir scratch_;
    int cuts_ = 0;
    int failures_ = 0;
};

struct ImageSweep {
    int image;
    std::size_t everydayRecordCuts;  // sample size of whole-record cuts in the everyday run
    std::size_t everydayByteCuts;    // sample size of byte offsets per chosen record
};

void PrintTo(const ImageSweep& s, std::ostream* os) { *os << "image " << s.image; }

class InterruptionSweepPerImage : public InterruptionSweep, public ::testing::WithParamInterface<ImageSweep> {};

TEST_P(InterruptionSweepPerImage, EveryRecordCutLeavesARecoverableLogger) {
    const ImageSweep& s = GetParam();
    const Image image = BuiltIn(s.image);
    const int n = image.LastIndex();
    std::mt19937_64 random(SweepSeed(0x5EED0000u + static_cast<unsigned>(s.image)));
    const auto start = std::chrono::steady_clock::now();

    const std::vector<int> cuts = LongSweep() ? Sample(0, n, static_cast<std::size_t>(n + 1), random)
                                              : Sample(0, n, s.everydayRecordCuts, random,
                                                       {0, 1, image.VectorIndex(), n - 1, n});
    for (const int j : cuts) CutAndRecover(image, {j, std::nullopt});
    Report("whole-record cuts", start);
}

TEST_P(InterruptionSweepPerImage, EveryByteOfChosenRecordsCutLeavesARecoverableLogger) {
    const ImageSweep& s = GetParam();
    const Image image = BuiltIn(s.image);
    const int n = image.LastIndex();
    std::mt19937_64 random(SweepSeed(0xB17E0000u + static_cast<unsigned>(s.image)));
    const auto start = std::chrono::steady_clock::now();

    const int vector = image.VectorIndex();
    int chosen = vector;
    while (chosen == vector) chosen = std::uniform_int_distribution<int>(1, n - 1)(random);
    // The first record, one the seed picks, the vector-table record, and the start request after them.
    for (const int j : {0, chosen, vector, n}) {
        const int length = static_cast<int>(image.lines[static_cast<std::size_t>(j == n ? 0 : j)].size());
        const int requestLength = j == n ? 13 : length;  // ":0100000533C7"
        const std::vector<int> offsets =
            LongSweep() ? Sample(0, requestLength - 1, static_cast<std::size_t>(requestLength), random)
                        : Sample(0, requestLength - 1, s.everydayByteCuts, random, {0, 1, requestLength - 1});
        for (const int offset : offsets) CutAndRecover(image, {j, offset});
    }
    Report("byte cuts", start);
}

// Image 1 carries the everyday weight; the others are sampled lightly and swept whole in the long run.
INSTANTIATE_TEST_SUITE_P(BuiltInImages, InterruptionSweepPerImage,
                         ::testing::Values(ImageSweep{1, 24, 5}, ImageSweep{2, 4, 2}, ImageSweep{3, 4, 2},
                                           ImageSweep{4, 4, 2}));

TEST_F(InterruptionSweep, ChainsOfCutsBeforeAHealthyJob) {
    constexpr int kCutsInARow = 5;
    const int seeds = LongSweep() ? 100 : 3;
    const auto start = std::chrono::steady_clock::now();
    for (int seed = 1; seed <= seeds && failures_ < kMaxReportedFailures; ++seed) {
        std::mt19937_64 random(SweepSeed(0xC4A10000u) + static_cast<unsigned>(seed));
        const Image image = BuiltIn(std::uniform_int_distribution<int>(1, 4)(random));
        const int n = image.LastIndex();
        std::optional<std::string> state;
        std::string problem;
        std::string chain;
        for (int c = 0; c < kCutsInARow && problem.empty(); ++c) {
            Cut cut{std::uniform_int_distribution<int>(0, n)(random), std::nullopt};
            const int length = cut.j == n ? 13 : static_cast<int>(image.lines[static_cast<std::size_t>(cut.j)].size());
            cut.byteOffset = std::uniform_int_distribution<int>(0, length - 1)(random);
            chain += cut.Describe() + "; ";
            ++cuts_;
            problem = CutJob(image, cut, state);
        }
        if (problem.empty()) problem = RecoverJob(image, *state);
        if (!problem.empty()) {
            ++failures_;
            ADD_FAILURE() << "seed " << seed << ", " << chain << problem;
        }
    }
    Report("chained cuts", start);
}

}  // namespace
}  // namespace vantrel::sweeps
