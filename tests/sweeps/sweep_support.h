// What the sweeps share: a simulated line the test can cut at an exact byte, jobs run to their end on the
// test's own thread with a bound on the serial calls they may make, images as lines and as the flash they
// must leave, and the choice between the everyday sample and the long sweep.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "firmware/header.h"
#include "link/clock.h"
#include "link/serial.h"
#include "sim/inprocess_serial.h"
#include "sim/logger_model.h"
#include "tests/support/job_runner.h"

namespace vantrel::sweeps {

using testing::JobResult;

// VANTREL_SWEEP=long selects the full sweeps; anything else the seeded everyday sample.
bool LongSweep();
// VANTREL_SWEEP_SEED, else the given default: the everyday sample is the same run after run unless asked.
std::uint64_t SweepSeed(std::uint64_t fallback);

// Which write of a job the line dies in, and after how many of its bytes.
struct CutPoint {
    enum class Target { DataRecord, StartApplication };
    Target target = Target::DataRecord;
    int nth = 1;  // DataRecord: 1-based among the 64-byte data records this job writes
    std::uint32_t bytesThrough = 0;
};

// A serial backend in front of the simulated logger. It can cut the line at a CutPoint, after which the
// logger hears nothing and says nothing (its flash as it was at that instant is kept as a state), and it
// stops a job that makes more serial calls than any finished job could: every call then fails, so the
// job ends with a port error instead of running on, and the test sees Exhausted().
class GuardedSerial final : public link::SerialBackend {
public:
    GuardedSerial(sim::InProcessSerial& inner, std::uint64_t callBudget) : inner_(inner), budget_(callBudget) {}

    void CutAt(CutPoint cut) { cut_ = cut; }
    bool Cut() const { return cutState_.has_value(); }
    // The logger's state at the cut (what a state file written at the power loss holds).
    const std::string& StateAtCut() const { return *cutState_; }
    bool Exhausted() const { return exhausted_; }

    link::PortHandle Open(const std::string& portName, std::int32_t baudRate) override;
    bool ClearCommError(link::PortHandle port) override;
    bool PurgeComm(link::PortHandle port, std::uint32_t flags) override;
    bool WriteFile(link::PortHandle port, const std::uint8_t* data, std::uint32_t count,
                   std::uint32_t& written) override;
    bool ReadFile(link::PortHandle port, std::uint8_t* buffer, std::uint32_t count, std::uint32_t& read) override;
    bool CloseHandle(link::PortHandle port) override;
    link::OpenFailure LastOpenFailure() const override { return inner_.LastOpenFailure(); }

private:
    bool Spend();

    sim::InProcessSerial& inner_;
    std::uint64_t budget_;
    std::uint64_t calls_ = 0;
    bool exhausted_ = false;
    std::optional<CutPoint> cut_;
    int dataRecordsWritten_ = 0;
    std::optional<std::string> cutState_;
};

// A logger on a guarded line, installed as the process's clock and serial backend for the object's life.
class SweepLine {
public:
    explicit SweepLine(sim::LoggerConfig config, sim::InProcessSerial::Options options = {},
                       std::uint64_t callBudget = 400'000);
    ~SweepLine();
    SweepLine(const SweepLine&) = delete;
    SweepLine& operator=(const SweepLine&) = delete;

    sim::InProcessSerial& Serial() { return *serial_; }
    GuardedSerial& Guard() { return *guard_; }
    link::VirtualClock& Clock() { return clock_; }
    const std::string& Port() const { return port_; }

    // Runs f on the model, brought up to the clock's time.
    template <typename F>
    auto Inspect(F&& f) {
        return serial_->Inspect(std::forward<F>(f));
    }

private:
    link::VirtualClock clock_;
    std::string port_;
    std::unique_ptr<sim::InProcessSerial> serial_;
    std::unique_ptr<GuardedSerial> guard_;
    link::ScopedClock useClock_;
    link::ScopedSerialBackend useSerial_;
};

// One job of the Vantrel worker on the calling thread, to its end, with the built-in images or the given
// file image; every notification it posted, in order.
JobResult RunJobHere(const std::string& port, std::shared_ptr<const firmware::FileImage> file = nullptr);

// An image as the job reads it: record lines 0 to n, n being the end-of-file record.
struct Image {
    firmware::TBl3FileHeader header;
    std::vector<std::string> lines;

    int LastIndex() const { return static_cast<int>(lines.size()) - 1; }
    // Index of the vector-table record, or -1.
    int VectorIndex() const;
    // The flash a logger must hold after this image was programmed, the update-info block aside.
    std::map<std::uint16_t, sim::Block> Blocks() const;
};

Image BuiltIn(int image);
// The first dataRecords records of a built-in image, its vector-table record and the end-of-file record:
// a whole update in a few dozen transfers.
Image ShortImage(int image, int dataRecords);
// The image as a job's file image (image 0).
std::shared_ptr<const firmware::FileImage> AsFileImage(const Image& image);

// A logger whose board and application fit the header, running its application.
sim::LoggerConfig LoggerFor(const firmware::TBl3FileHeader& header);

// Empty when the flash holds exactly the image and the logger's own update-info block, else what differs.
std::string FlashDifference(const sim::LoggerModel& model, const Image& image);

// A scratch folder removed with its content.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A sorted sample of count distinct values from [first, last], always holding the given must-haves.
std::vector<int> Sample(int first, int last, std::size_t count, std::mt19937_64& random,
                        std::vector<int> mustHave = {});

}  // namespace vantrel::sweeps
