#include <algorithm>
#include <memory>
#include <optional>
#include <set>

#include "engine/notify.h"
#include "engine/process_state.h"
#include "engine/vantrel_comm_thread.h"
#include "firmware/builtin_images.h"
#include "firmware/catalogue.h"
#include "fuzz/checks/fuzz_checks.h"
#include "link/cancel.h"
#include "link/clock.h"
#include "link/comm_link.h"
#include "link/command_frame.h"
#include "link/failures.h"
#include "link/hex_record.h"
#include "link/link_times.h"
#include "link/serial.h"

namespace vantrel::fuzz {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kFailingRead = 0xFF;
constexpr std::uint64_t kCallBudget = 20'000;

// The logger as the fuzz input scripts it. Writes always succeed; each read delivers the next chunk.
class FedSerial final : public link::SerialBackend {
public:
    struct Exchange {
        Bytes written;
        Bytes replied;  // what the read after the write delivered
        bool read = false;
    };

    FedSerial(std::span<const std::uint8_t> script, link::VirtualClock& clock) : script_(script), clock_(clock) {}

    link::PortHandle Open(const std::string&, std::int32_t) override { return Spend() ? 1 : link::kInvalidPortHandle; }
    bool ClearCommError(link::PortHandle) override { return Spend(); }
    bool PurgeComm(link::PortHandle, std::uint32_t) override { return Spend(); }
    bool WriteFile(link::PortHandle, const std::uint8_t* data, std::uint32_t count, std::uint32_t& written) override {
        written = 0;
        if (!Spend()) return false;
        exchanges_.push_back({Bytes(data, data + count), {}, false});
        written = count;
        return true;
    }
    bool ReadFile(link::PortHandle, std::uint8_t* buffer, std::uint32_t count, std::uint32_t& read) override {
        read = 0;
        if (!Spend()) return false;
        Bytes chunk;
        if (next_ < script_.size()) {
            const std::uint8_t length = script_[next_++];
            if (length == kFailingRead) return false;
            const std::size_t take = std::min<std::size_t>(length, script_.size() - next_);
            chunk.assign(script_.begin() + static_cast<std::ptrdiff_t>(next_),
                         script_.begin() + static_cast<std::ptrdiff_t>(next_ + take));
            next_ += take;
        }
        // Bytes beyond what was asked for are the ones the next purge throws away.
        if (chunk.size() > count) chunk.resize(count);
        std::copy(chunk.begin(), chunk.end(), buffer);
        read = static_cast<std::uint32_t>(chunk.size());
        if (read < count) clock_.Advance(link::ReadTimeout(count));
        if (!exchanges_.empty()) {
            exchanges_.back().replied = chunk;
            exchanges_.back().read = true;
        }
        return true;
    }
    bool CloseHandle(link::PortHandle) override { return true; }
    link::OpenFailure LastOpenFailure() const override { return {}; }

    const std::vector<Exchange>& Exchanges() const { return exchanges_; }
    bool Exhausted() const { return calls_ > kCallBudget; }

private:
    bool Spend() { return ++calls_ <= kCallBudget; }

    std::span<const std::uint8_t> script_;
    link::VirtualClock& clock_;
    std::size_t next_ = 0;
    std::uint64_t calls_ = 0;
    std::vector<Exchange> exchanges_;
};

// A few records of image 1 with its vector-table record last: a whole job in a handful of transfers.
const std::vector<std::string>& ShortImageLines() {
    static const std::vector<std::string> kLines = [] {
        const auto& image = *firmware::BuiltInImages()[0];
        std::vector<std::string> lines{std::string(image.lines[0]), std::string(image.lines[1])};
        for (const std::string_view line : image.lines) {
            link::HexRecord record;
            if (link::ParseHexLine(line, record) && record.addressHigh == 0x03 && record.addressLow == 0xDF) {
                lines.emplace_back(line);
            }
        }
        lines.emplace_back(link::kEndOfFileLine);
        return lines;
    }();
    return kLines;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

bool IsIdentifyFrame(const Bytes& bytes) {
    const link::CommandFrame identify = link::BuildCommandFrame(link::cmdIdentify, 0, 0, 0, 0, 0, 0);
    return bytes.size() == identify.size() && std::equal(identify.begin(), identify.end(), bytes.begin());
}

bool IsServiceRequest(const Bytes& bytes, std::uint8_t code) {
    link::HexRecord record;
    return link::ParseHexLine(std::string(bytes.begin(), bytes.end()), record) &&
           record.type == link::rtServiceRequest && record.count == 1 && record.data[0] == code;
}

// The start request may only follow a complete programming: every record echoed unchanged after the last
// begin, the vector-table record last; after it only identification frames go out.
std::string CheckProgrammedBeforeStart(const FedSerial& line, const std::vector<std::string>& image) {
    const auto& exchanges = line.Exchanges();
    std::size_t lastBegin = exchanges.size();
    std::size_t start = exchanges.size();
    for (std::size_t i = 0; i < exchanges.size(); ++i) {
        const auto& e = exchanges[i];
        if (start < exchanges.size() && !IsIdentifyFrame(e.written))
            return "something other than identification after the start";
        if (IsServiceRequest(e.written, link::srBeginProgramming)) lastBegin = i;
        if (IsServiceRequest(e.written, link::srStartApplication)) start = i;
    }
    if (start == exchanges.size()) return {};
    if (lastBegin > start) return "srStartApplication without srBeginProgramming";
    std::size_t vectorEcho = 0;
    std::size_t otherEchoes = 0;
    for (std::size_t j = 0; j + 1 < image.size(); ++j) {
        const Bytes record = Text(image[j]);
        std::optional<std::size_t> echoed;
        for (std::size_t i = lastBegin; i < start; ++i) {
            if (exchanges[i].written == record && exchanges[i].replied == record) echoed = i;
        }
        if (!echoed) return "started although record " + std::to_string(j) + " was never echoed after the begin";
        if (image[j].compare(0, 7, ":4003DF") == 0) {
            vectorEcho = *echoed;
        } else {
            otherEchoes = std::max(otherEchoes, *echoed);
        }
    }
    if (vectorEcho < otherEchoes) return "started with the vector-table record programmed before the others";
    return {};
}

// Success must rest on what the logger actually said.
std::string CheckSuccess(const FedSerial& line, std::uint16_t imageClass) {
    std::optional<std::uint16_t> lastClass;
    bool started = false;
    for (const auto& e : line.Exchanges()) {
        if (IsIdentifyFrame(e.written) && e.replied.size() == 8 && link::FrameCrcValid(e.replied.data())) {
            lastClass = link::MakeWord(e.replied[2], e.replied[3]);
        }
        started = started || IsServiceRequest(e.written, link::srStartApplication);
    }
    if (!started) return "success without srStartApplication";
    if (lastClass != imageClass) return "success although the last identification did not carry the image's class";
    return {};
}

std::string CheckJob(std::span<const std::uint8_t> script, std::uint32_t* finalCode) {
    engine::ResetProcessState();
    const std::vector<std::string>& image = ShortImageLines();
    auto file = std::make_shared<firmware::FileImage>();
    file->header = firmware::GetFirmwareHeader(1);
    file->lines = image;

    link::VirtualClock clock;
    FedSerial line(script, clock);
    link::ScopedClock useClock(clock);
    link::ScopedSerialBackend useSerial(line);
    auto queue = std::make_shared<engine::NotificationQueue>();
    std::vector<engine::Notification> posted;
    {
        engine::ScopedNotificationTarget window(queue);
        engine::JobRequest request;
        request.FsPort = "FUZZ";
        request.FileImage = file;
        request.FhWindow = window.handle();
        engine::TVantrelCommThread worker(request, engine::TCmd::tCMD0, nullptr);
        worker.Execute();
    }
    while (auto n = queue->TryPop()) posted.push_back(*n);
    engine::ResetProcessState();

    if (finalCode != nullptr && !posted.empty()) *finalCode = posted.back().code;
    if (line.Exhausted()) return "the job did not end";
    const auto finals = std::count_if(posted.begin(), posted.end(),
                                      [](const auto& n) { return engine::IsFinalNotification(n.code); });
    if (finals != 1 || posted.empty() || !engine::IsFinalNotification(posted.back().code))
        return "not exactly one final notification, last";
    if (std::string problem = CheckProgrammedBeforeStart(line, image); !problem.empty()) return problem;
    if (posted.back().code == engine::ncDone) return CheckSuccess(line, firmware::GetFirmwareHeader(1).qel_class);
    return {};
}

bool Raised(const link::EQel& e, std::initializer_list<std::int32_t> allowed) {
    return std::find(allowed.begin(), allowed.end(), e.iException) != allowed.end();
}

// One channel operation on its own; the first script byte has chosen which.
std::string CheckChannel(std::uint8_t operation, std::span<const std::uint8_t> script) {
    engine::ResetProcessState();
    link::VirtualClock clock;
    FedSerial line(script, clock);
    link::ScopedClock useClock(clock);
    link::ScopedSerialBackend useSerial(line);
    link::TCommLink channel;
    channel.FhPort = link::OpenCommPort("FUZZ", link::kLineBaudRate);
    std::string problem;
    try {
        switch (operation % 3) {
            case 0:
                channel.SendCommand(true, link::cmdIdentify, 0, 0, 0, 0, 0, 0);
                if (!link::FrameCrcValid(channel.FRxBuffer.data()) ||
                    (channel.FRxBuffer[0] & link::kReplyErrorBit) != 0) {
                    problem = "SendCommand accepted a frame with a bad CRC or the error bit";
                }
                break;
            case 1: {
                const std::uint8_t length = operation & 0x80 ? 64 : 6;
                link::RecordBuffer = link::ServiceRequestRecord(link::srIdentity);
                channel.RequestRecord(length);
                if (link::HexLine.size() != link::LineLength(length) || link::RecordBuffer.count != length) {
                    problem = "RequestRecord accepted a reply of the wrong length";
                }
                link::HexRecord again;
                if (!link::ParseHexLine(link::HexLine, again))
                    problem = "RequestRecord accepted a reply that does not parse";
                break;
            }
            default: {
                const bool raise = (operation & 0x80) != 0;
                const std::string record(firmware::BuiltInImages()[0]->lines[0]);
                const bool sent = channel.SendRecord(record, 64, raise);
                const std::string reply = channel.RxText();
                if (sent) {
                    std::uint8_t sum = 0;
                    bool digits = reply.size() == link::LineLength(64);
                    for (std::size_t i = 1; digits && i + 1 < reply.size(); i += 2) {
                        const int high = link::HexDigitValue(reply[i]);
                        const int low = link::HexDigitValue(reply[i + 1]);
                        digits = high >= 0 && low >= 0;
                        sum = static_cast<std::uint8_t>(sum + high * 16 + low);
                    }
                    if (!digits || sum != 0) problem = "SendRecord accepted a reply that fails its checksum";
                } else if (raise) {
                    problem = "SendRecord returned false although told to raise";
                }
                break;
            }
        }
    } catch (const link::EQel& e) {
        const bool allowed = operation % 3 == 0   ? Raised(e, {link::feIo, link::feNoAnswer, link::feLoggerError})
                             : operation % 3 == 1 ? Raised(e, {link::feIo, link::feInvalidAnswer})
                                                  : Raised(e, {link::feIo, link::feNoAnswer});
        if (!allowed) problem = "raised failure " + std::to_string(e.iException);
    }
    channel.CloseCommPort();
    // Every transfer is tried five times at most: one write an attempt.
    if (problem.empty() && line.Exchanges().size() > static_cast<std::size_t>(link::kTransferAttempts)) {
        problem = "more than five attempts";
    }
    engine::ResetProcessState();
    return problem;
}

void AddChunk(Bytes& script, const Bytes& reply) {
    script.push_back(static_cast<std::uint8_t>(reply.size()));
    script.insert(script.end(), reply.begin(), reply.end());
}

Bytes FrameReply(std::uint16_t loggerClass, std::uint16_t version) {
    const link::CommandFrame frame = link::SealFrame(
        {0x81, 0x00, static_cast<std::uint8_t>(loggerClass >> 8), static_cast<std::uint8_t>(loggerClass & 0xFF),
         static_cast<std::uint8_t>(version >> 8), static_cast<std::uint8_t>(version & 0xFF), 0x00, 0x00});
    return Bytes(frame.begin(), frame.end());
}

Bytes ServiceReply(std::uint16_t address, std::vector<std::uint8_t> data) {
    link::HexRecord record;
    record.count = static_cast<std::uint8_t>(data.size());
    record.addressHigh = static_cast<std::uint8_t>(address >> 8);
    record.addressLow = static_cast<std::uint8_t>(address & 0xFF);
    record.type = link::rtServiceRequest;
    std::copy(data.begin(), data.end(), record.data.begin());
    std::string line;
    link::BuildHexLine(record, line);
    return Text(line);
}

}  // namespace

std::string CheckWorkerReplies(std::span<const std::uint8_t> input, std::uint32_t* finalCode) {
    if (finalCode != nullptr) *finalCode = 0xFFFFFFFFu;
    if (input.empty()) return {};
    const std::uint8_t operation = input[0];
    const auto script = input.subspan(1);
    return operation % 4 == 3 ? CheckJob(script, finalCode) : CheckChannel(operation, script);
}

Bytes HealthyJobReplies() {
    const firmware::TBl3FileHeader header = firmware::GetFirmwareHeader(1);
    Bytes script{3};
    AddChunk(script, FrameReply(header.qel_class, 0x0100));  // the application answers
    AddChunk(script, {});                                    // restarting into the bootloader
    AddChunk(script, FrameReply(0xC802, 0x0300));
    AddChunk(script, ServiceReply(0x0000, {0x00, static_cast<std::uint8_t>(header.qel_platform), 0x00,
                                           static_cast<std::uint8_t>(header.qel_print), 0x00, 0x00}));
    std::vector<std::uint8_t> block(64, 0xFF);
    block[0] = static_cast<std::uint8_t>(header.qel_class & 0xFF);
    block[1] = static_cast<std::uint8_t>(header.qel_class >> 8);
    block[2] = 0xFE;
    block[3] = 0xFF;
    AddChunk(script, ServiceReply(0x0060, block));
    AddChunk(script, ServiceReply(0x0000, {0x00}));
    const std::vector<std::string> image = ShortImageLines();
    for (std::size_t j = 0; j + 1 < image.size(); ++j) AddChunk(script, Text(image[j]));
    AddChunk(script, FrameReply(header.qel_class, static_cast<std::uint16_t>(header.qel_verH << 8 | header.qel_verL)));
    return script;
}

}  // namespace vantrel::fuzz
