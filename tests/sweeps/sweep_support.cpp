#include "tests/sweeps/sweep_support.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>
#include <stdexcept>

#include "engine/notify.h"
#include "engine/vantrel_comm_thread.h"
#include "firmware/builtin_images.h"
#include "firmware/catalogue.h"
#include "link/hex_record.h"
#include "link/link_times.h"

namespace vantrel::sweeps {

bool LongSweep() {
    const char* mode = std::getenv("VANTREL_SWEEP");
    return mode != nullptr && std::string(mode) == "long";
}

std::uint64_t SweepSeed(std::uint64_t fallback) {
    const char* seed = std::getenv("VANTREL_SWEEP_SEED");
    return seed != nullptr && *seed != '\0' ? std::stoull(seed, nullptr, 0) : fallback;
}

// ---- GuardedSerial ---------------------------------------------------------------------------------

bool GuardedSerial::Spend() {
    if (++calls_ > budget_) exhausted_ = true;
    return !exhausted_;
}

link::PortHandle GuardedSerial::Open(const std::string& portName, std::int32_t baudRate) {
    if (!Spend()) return link::kInvalidPortHandle;
    return inner_.Open(portName, baudRate);
}

bool GuardedSerial::ClearCommError(link::PortHandle port) { return Spend() && inner_.ClearCommError(port); }

bool GuardedSerial::PurgeComm(link::PortHandle port, std::uint32_t flags) {
    return Spend() && inner_.PurgeComm(port, flags);
}

bool GuardedSerial::WriteFile(link::PortHandle port, const std::uint8_t* data, std::uint32_t count,
                              std::uint32_t& written) {
    written = 0;
    if (!Spend()) return false;
    if (Cut()) {
        // The updater's side of the line is fine: its bytes leave, and nobody hears them.
        written = count;
        return true;
    }
    if (cut_) {
        bool here = false;
        const std::string_view line(reinterpret_cast<const char*>(data), count);
        link::HexRecord record;
        if (line.size() == link::LineLength(link::kMaxRecordCount) && link::ParseHexLine(line, record) &&
            record.type == link::rtData) {
            here = cut_->target == CutPoint::Target::DataRecord && ++dataRecordsWritten_ == cut_->nth;
        } else if (link::ParseHexLine(line, record) && record.type == link::rtServiceRequest && record.count == 1 &&
                   record.data[0] == link::srStartApplication) {
            here = cut_->target == CutPoint::Target::StartApplication;
        }
        if (here) {
            const std::uint32_t through = std::min(cut_->bytesThrough, count);
            std::uint32_t ignored = 0;
            if (through > 0 && !inner_.WriteFile(port, data, through, ignored)) return false;
            cutState_ = inner_.Inspect([](sim::LoggerModel& m) { return m.SaveState(); });
            written = count;
            return true;
        }
    }
    return inner_.WriteFile(port, data, count, written);
}

bool GuardedSerial::ReadFile(link::PortHandle port, std::uint8_t* buffer, std::uint32_t count, std::uint32_t& read) {
    read = 0;
    if (!Spend()) return false;
    // After a cut the logger hears nothing, so it has nothing queued: the simulator's read runs into its
    // time-out on the clock exactly as a silent line would.
    return inner_.ReadFile(port, buffer, count, read);
}

bool GuardedSerial::CloseHandle(link::PortHandle port) { return inner_.CloseHandle(port); }

// ---- SweepLine -------------------------------------------------------------------------------------

SweepLine::SweepLine(sim::LoggerConfig config, sim::InProcessSerial::Options options, std::uint64_t callBudget)
    : port_(options.portName),
      serial_(std::make_unique<sim::InProcessSerial>(std::move(config), clock_, std::move(options))),
      guard_(std::make_unique<GuardedSerial>(*serial_, callBudget)),
      useClock_(clock_),
      useSerial_(*guard_) {}

SweepLine::~SweepLine() = default;

JobResult RunJobHere(const std::string& port, std::shared_ptr<const firmware::FileImage> file) {
    auto queue = std::make_shared<engine::NotificationQueue>();
    engine::ScopedNotificationTarget window(queue);
    {
        engine::JobRequest request;
        request.FsPort = port;
        request.FileImage = std::move(file);
        request.Checks = engine::CurrentJobChecks();
        request.FhWindow = window.handle();
        engine::TVantrelCommThread worker(request, engine::TCmd::tCMD0, nullptr);
        worker.Execute();
    }
    JobResult result;
    while (auto n = queue->TryPop()) {
        result.notifications.push_back(*n);
        if (engine::IsFinalNotification(n->code)) ++result.finals;
    }
    return result;
}

// ---- Images ----------------------------------------------------------------------------------------

namespace {

std::uint16_t BlockOf(const std::string& line) {
    link::HexRecord record;
    if (!link::ParseHexLine(line, record)) return 0xFFFF;
    return static_cast<std::uint16_t>(record.addressHigh << 8 | record.addressLow);
}

bool IsProgrammed(const std::string& line) {
    link::HexRecord record;
    return link::ParseHexLine(line, record) && record.type == link::rtData && record.count == link::kMaxRecordCount;
}

}  // namespace

int Image::VectorIndex() const {
    int found = -1;
    for (int j = 0; j < LastIndex(); ++j) {
        if (IsProgrammed(lines[static_cast<std::size_t>(j)]) && BlockOf(lines[static_cast<std::size_t>(j)]) == 0x03DF) {
            found = j;
        }
    }
    return found;
}

std::map<std::uint16_t, sim::Block> Image::Blocks() const {
    std::map<std::uint16_t, sim::Block> blocks;
    for (int j = 0; j < LastIndex(); ++j) {
        const std::string& line = lines[static_cast<std::size_t>(j)];
        if (!IsProgrammed(line)) continue;
        link::HexRecord record;
        link::ParseHexLine(line, record);
        sim::Block block{};
        std::copy_n(record.data.begin(), block.size(), block.begin());
        blocks[BlockOf(line)] = block;
    }
    return blocks;
}

Image BuiltIn(int image) {
    Image result;
    result.header = firmware::GetFirmwareHeader(image);
    const auto* builtIn = firmware::BuiltInImages()[static_cast<std::size_t>(image - 1)];
    for (const std::string_view line : builtIn->lines) result.lines.emplace_back(line);
    return result;
}

Image ShortImage(int image, int dataRecords) {
    const Image full = BuiltIn(image);
    const int vector = full.VectorIndex();
    Image result;
    result.header = full.header;
    for (int j = 0; j < full.LastIndex() && static_cast<int>(result.lines.size()) < dataRecords; ++j) {
        if (j != vector) result.lines.push_back(full.lines[static_cast<std::size_t>(j)]);
    }
    result.lines.push_back(full.lines[static_cast<std::size_t>(vector)]);
    result.lines.push_back(full.lines.back());
    return result;
}

std::shared_ptr<const firmware::FileImage> AsFileImage(const Image& image) {
    auto file = std::make_shared<firmware::FileImage>();
    file->header = image.header;
    file->lines = image.lines;
    return file;
}

sim::LoggerConfig LoggerFor(const firmware::TBl3FileHeader& header) {
    sim::LoggerConfig config;
    config.identity.platform = header.qel_platform;
    config.identity.print = header.qel_print;
    config.identity.updateClass = header.qel_class;
    config.identity.applicationClass = header.qel_class;
    // The firmware the logger runs before the update is an older one than any image.
    config.identity.applicationVersion = 0x0100;
    return config;
}

std::string FlashDifference(const sim::LoggerModel& model, const Image& image) {
    std::map<std::uint16_t, sim::Block> expected = image.Blocks();
    const std::uint16_t infoBlock = sim::LoggerModel::UpdateInfoBlock(model.Config().identity.platform);
    expected[infoBlock] = model.ReadBlock(infoBlock);
    std::ostringstream out;
    for (const auto& [block, data] : expected) {
        const auto found = model.Flash().find(block);
        if (found == model.Flash().end()) {
            out << "block " << block << " missing; ";
        } else if (found->second != data) {
            out << "block " << block << " differs; ";
        }
    }
    for (const auto& [block, data] : model.Flash()) {
        if (!expected.contains(block)) out << "block " << block << " not in the image; ";
    }
    return out.str();
}

// ---- Scratch folder and samples --------------------------------------------------------------------

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-sweep-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<int> Sample(int first, int last, std::size_t count, std::mt19937_64& random, std::vector<int> mustHave) {
    std::set<int> chosen;
    for (const int v : mustHave) {
        if (v >= first && v <= last) chosen.insert(v);
    }
    const auto span = static_cast<std::size_t>(last - first + 1);
    count = std::min(count, span);
    std::uniform_int_distribution<int> pick(first, last);
    while (chosen.size() < count) chosen.insert(pick(random));
    return {chosen.begin(), chosen.end()};
}

}  // namespace vantrel::sweeps
