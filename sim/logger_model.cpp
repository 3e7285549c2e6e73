#include "sim/logger_model.h"

#include <algorithm>
#include <sstream>

#include "firmware/firmware_info.h"
#include "link/command_frame.h"
#include "link/hex_record.h"

namespace vantrel::sim {

namespace {

constexpr std::size_t kFrameSize = sizeof(link::CommandFrame);
constexpr std::string_view kStateMagic = "vantrel-sim-state 1";

std::vector<std::uint8_t> LineBytes(const link::HexRecord& record) {
    std::string line;
    link::BuildHexLine(record, line);
    return {line.begin(), line.end()};
}

link::HexRecord ServiceReply(const link::HexRecord& request, std::uint8_t count) {
    link::HexRecord reply;
    reply.count = count;
    reply.addressHigh = request.addressHigh;
    reply.addressLow = request.addressLow;
    reply.type = link::rtServiceRequest;
    return reply;
}

void PutHexByte(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint8_t value) {
    std::string digits;
    link::AppendHexByte(digits, value);
    bytes[at] = static_cast<std::uint8_t>(digits[0]);
    bytes[at + 1] = static_cast<std::uint8_t>(digits[1]);
}

Block ErasedBlock() {
    Block block;
    block.fill(0xFF);
    return block;
}

// Which byte of a reply a seeded fault touches, and by what non-zero value it changes it.
std::uint8_t NonZero(std::uint64_t random) { return static_cast<std::uint8_t>(random % 255 + 1); }

}  // namespace

const char* ModeName(Mode mode) {
    switch (mode) {
        case Mode::Application: return "application";
        case Mode::Bootloader: return "bootloader";
        case Mode::Restarting: return "restarting";
        case Mode::PoweredOff: return "powered off";
    }
    return "?";
}

std::uint16_t LoggerModel::UpdateInfoBlock(std::uint16_t platform) {
    if ((platform >= 12 && platform <= 17) || (platform >= 20 && platform <= 22)) return 0x60;
    switch (platform) {
        case 1:
        case 2:
        case 4:
        case 5:
        case 6:
        case 7:
        case 9:
        case 10:
        case 0xFFFE: return 0x40;
        case 8:
        case 11: return 0x64;
        default: return 0;
    }
}

LoggerModel::LoggerModel(LoggerConfig config, WireTrace* trace) : config_(std::move(config)), trace_(trace) {
    const LoggerIdentity& id = config_.identity;
    Block info = ErasedBlock();
    info[0] = static_cast<std::uint8_t>(id.updateClass & 0xFF);
    info[1] = static_cast<std::uint8_t>(id.updateClass >> 8);
    info[2] = static_cast<std::uint8_t>(id.updateId & 0xFF);
    info[3] = static_cast<std::uint8_t>(id.updateId >> 8);
    flash_[UpdateInfoBlock(id.platform)] = info;

    applicationValid_ = config_.applicationPresent;
    if (config_.applicationPresent) {
        Block firmwareInfo = ErasedBlock();
        firmware::EncodeFirmwareInfo({id.applicationClass, id.applicationVersion, id.platform, id.print},
                                     firmwareInfo.data());
        flash_[firmware::kFirmwareInfoBlock] = firmwareInfo;
        Block vectors;
        for (std::size_t i = 0; i < vectors.size(); ++i) vectors[i] = static_cast<std::uint8_t>(i);
        flash_[firmware::kVectorTableBlock] = vectors;
    }
    PowerUp();
}

void LoggerModel::PowerUp() {
    unit_ = Unit::None;
    unitBytes_.clear();
    output_.clear();
    held_ = 0;
    const auto info = firmware::DecodeFirmwareInfo(ReadBlock(firmware::kFirmwareInfoBlock).data());
    if (applicationValid_ && info && config_.initialMode == Mode::Application) {
        mode_ = Mode::Application;
        applicationClass_ = info->loggerClass;
        applicationVersion_ = info->version;
    } else {
        mode_ = Mode::Bootloader;
    }
}

Micros LoggerModel::ByteTime(std::size_t bytes) const {
    const auto baud = std::max<std::int64_t>(config_.timing.baudRate, 1);
    return Micros(static_cast<std::int64_t>(bytes) * 10 * 1'000'000 / baud);
}

Block LoggerModel::ReadBlock(std::uint16_t block) const {
    const auto found = flash_.find(block);
    return found != flash_.end() ? found->second : ErasedBlock();
}

void LoggerModel::AdvanceTo(Micros now) {
    now_ = std::max(now_, now);
    if (mode_ == Mode::Restarting && now_ >= readyAt_) mode_ = restartTarget_;
}

void LoggerModel::Receive(std::span<const std::uint8_t> bytes, Micros at) {
    const bool paced = config_.timing.paced;
    const Micros start = paced ? std::max(at, inLineFreeAt_) : std::max(at, now_);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const Micros arrival = paced ? start + ByteTime(i + 1) : start;
        AdvanceTo(arrival);
        OnByte(bytes[i], arrival);
    }
    if (paced) inLineFreeAt_ = start + ByteTime(bytes.size());
    FlushNoise();
}

void LoggerModel::OnByte(std::uint8_t byte, Micros at) {
    if (mode_ == Mode::Restarting || mode_ == Mode::PoweredOff) {
        DropUnit();
        Noise(byte, at);
        return;
    }
    if (unit_ != Unit::None && at - lastByteAt_ > config_.interByteReset) DropUnit();
    lastByteAt_ = at;

    auto begin = [&](Unit unit) {
        FlushNoise();
        unit_ = unit;
        unitStart_ = at;
        unitBytes_.assign(1, byte);
    };

    switch (unit_) {
        case Unit::None:
            if (mode_ == Mode::Application || byte == 0x00 || (byte & 0x80) != 0) {
                begin(Unit::Frame);
            } else if (byte == ':') {
                begin(Unit::Line);
                lineLength_ = 0;
            } else {
                Noise(byte, at);
            }
            return;
        case Unit::Frame:
            unitBytes_.push_back(byte);
            if (unitBytes_.size() == kFrameSize) FinishUnit(at);
            return;
        case Unit::Line:
            if (byte == ':') {
                // A new line starts: the one before it was broken off.
                DropUnit();
                begin(Unit::Line);
                lineLength_ = 0;
                return;
            }
            unitBytes_.push_back(byte);
            if (link::HexDigitValue(static_cast<char>(byte)) < 0) {
                DropUnit();
                return;
            }
            if (unitBytes_.size() == 3) {
                const int count = link::HexDigitValue(static_cast<char>(unitBytes_[1])) * 16 +
                                  link::HexDigitValue(static_cast<char>(unitBytes_[2]));
                if (count > link::kMaxRecordCount) {
                    DropUnit();
                    return;
                }
                lineLength_ = link::LineLength(static_cast<std::size_t>(count));
            }
            if (lineLength_ != 0 && unitBytes_.size() == lineLength_) FinishUnit(at);
            return;
    }
}

void LoggerModel::FinishUnit(Micros at) {
    const Unit unit = unit_;
    std::vector<std::uint8_t> bytes = std::move(unitBytes_);
    unitBytes_.clear();
    unit_ = Unit::None;
    if (trace_ != nullptr) {
        std::string meaning = unit == Unit::Frame ? DescribeFrame(Direction::ToLogger, bytes)
                                                  : DescribeUnit(Direction::ToLogger, bytes);
        trace_->Add({Direction::ToLogger, unitStart_, bytes, std::move(meaning)});
    }
    if (unit == Unit::Frame) {
        HandleFrame(bytes, at);
    } else {
        HandleLine(bytes, at);
    }
}

void LoggerModel::DropUnit() {
    if (unit_ == Unit::None) return;
    if (noise_.empty()) noiseStart_ = unitStart_;
    noise_.insert(noise_.end(), unitBytes_.begin(), unitBytes_.end());
    counts_.noiseBytes += static_cast<int>(unitBytes_.size());
    unitBytes_.clear();
    unit_ = Unit::None;
}

void LoggerModel::Noise(std::uint8_t byte, Micros at) {
    if (noise_.empty()) noiseStart_ = at;
    noise_.push_back(byte);
    ++counts_.noiseBytes;
}

void LoggerModel::FlushNoise() {
    if (noise_.empty()) return;
    if (trace_ != nullptr) {
        const bool listening = mode_ == Mode::Application || mode_ == Mode::Bootloader;
        trace_->Add({Direction::ToLogger, noiseStart_, noise_,
                     listening ? "noise" : std::string("unheard (") + ModeName(mode_) + ")"});
    }
    noise_.clear();
}

void LoggerModel::HandleFrame(const std::vector<std::uint8_t>& frame, Micros at) {
    if (std::all_of(frame.begin(), frame.end(), [](std::uint8_t b) { return b == 0; })) {
        ++counts_.zeroFrames;
        return;
    }
    if (!link::FrameCrcValid(frame.data())) {
        ++counts_.ignoredFrames;
        return;
    }
    if (frame[0] == (link::cmdIdentify | link::kCommandBit)) {
        const int occurrence = ++counts_.identify;
        const bool bootloader = mode_ == Mode::Bootloader;
        const std::uint16_t loggerClass = bootloader ? firmware::kBootloader3Class : applicationClass_;
        const std::uint16_t version = bootloader ? config_.identity.bootloaderVersion : applicationVersion_;
        const link::CommandFrame reply = link::SealFrame(
            {kReplyStatus, 0x00, static_cast<std::uint8_t>(loggerClass >> 8),
             static_cast<std::uint8_t>(loggerClass & 0xFF), static_cast<std::uint8_t>(version >> 8),
             static_cast<std::uint8_t>(version & 0xFF), 0x00, 0x00});
        Reply(RequestKind::Identify, occurrence, {reply.begin(), reply.end()}, at);
        return;
    }
    const bool entry = frame[0] == (link::cmdEnterBootloader | link::kCommandBit) &&
                       std::equal(link::kBootloaderEntryPattern.begin(), link::kBootloaderEntryPattern.end(),
                                  frame.begin() + 1) &&
                       frame[5] == 0 && frame[6] == 0;
    if (entry && mode_ == Mode::Application && FindFault(FaultKind::NeverEnterBootloader) == nullptr) {
        ++counts_.enterBootloader;
        Restart(Mode::Bootloader, at + config_.bootloaderStartup);
        return;
    }
    ++counts_.ignoredFrames;
}

void LoggerModel::HandleLine(const std::vector<std::uint8_t>& bytes, Micros at) {
    const std::string line(bytes.begin(), bytes.end());
    link::HexRecord request;
    if (!link::ParseHexLine(line, request)) {
        ++counts_.ignoredRecords;
        return;
    }
    const std::uint16_t address = link::MakeWord(request.addressHigh, request.addressLow);
    if (request.type == link::rtData && request.count == link::kMaxRecordCount) {
        HandleDataRecord(line, address, request.data.data(), at);
        return;
    }
    if (request.type != link::rtServiceRequest || request.count != 1) {
        ++counts_.ignoredRecords;
        return;
    }
    const LoggerIdentity& id = config_.identity;
    switch (request.data[0]) {
        case link::srIdentity: {
            const int occurrence = ++counts_.identity;
            link::HexRecord reply = ServiceReply(request, 6);
            const std::uint16_t words[] = {id.platform, id.print, id.info};
            for (std::size_t i = 0; i < 3; ++i) {
                reply.data[2 * i] = static_cast<std::uint8_t>(words[i] >> 8);
                reply.data[2 * i + 1] = static_cast<std::uint8_t>(words[i] & 0xFF);
            }
            Reply(RequestKind::Identity, occurrence, LineBytes(reply), at);
            return;
        }
        case link::srReadBlock: {
            const int occurrence = ++counts_.readBlock;
            link::HexRecord reply = ServiceReply(request, link::kMaxRecordCount);
            const Block block = ReadBlock(address);
            std::copy(block.begin(), block.end(), reply.data.begin());
            Reply(RequestKind::ReadBlock, occurrence, LineBytes(reply), at);
            return;
        }
        case link::srBeginProgramming: {
            const int occurrence = ++counts_.begin;
            // The update-info block is the logger's own, not the application's: erasing spares it.
            const std::uint16_t keep = UpdateInfoBlock(id.platform);
            std::erase_if(flash_, [&](const auto& entry) { return entry.first != keep; });
            programmed_.clear();
            recordsSinceBegin_ = 0;
            applicationValid_ = false;
            link::HexRecord reply = ServiceReply(request, 1);
            reply.data[0] = 0x00;
            Reply(RequestKind::Begin, occurrence, LineBytes(reply), at);
            return;
        }
        case link::srStartApplication:
            ++counts_.startApplication;
            StartApplication(at);
            return;
        default: ++counts_.ignoredRecords; return;
    }
}

void LoggerModel::HandleDataRecord(const std::string& line, std::uint16_t block, const std::uint8_t* data, Micros at) {
    const int occurrence = ++counts_.dataRecords;
    const int sinceBegin = ++recordsSinceBegin_;
    const auto& faults = config_.faults.faults;
    for (const Fault& fault : faults) {
        if (fault.kind == FaultKind::DeadLine && fault.nth == sinceBegin) {
            PowerLoss();
            return;
        }
    }

    Block& target = flash_[block];
    std::copy(data, data + target.size(), target.begin());
    programmed_.insert(block);

    std::vector<std::uint8_t> echo(line.begin(), line.end());
    for (std::size_t i = 0; i < faults.size(); ++i) {
        const Fault& fault = faults[i];
        if (fault.kind != FaultKind::WrongEcho || fault.nth != sinceBegin) continue;
        if (!fault.always && wrongEchoesDone_.contains(sinceBegin)) continue;
        wrongEchoesDone_.insert(sinceBegin);
        // Another record that passes every check but the comparison with the line sent.
        link::HexRecord record;
        link::ParseHexLine(line, record);
        const std::uint64_t random = FaultRandom(config_.faults.seed, i, static_cast<std::uint64_t>(occurrence), 1);
        record.data[random % link::kMaxRecordCount] ^= NonZero(random >> 8);
        echo = LineBytes(record);
    }
    const Micros ready = at + (config_.timing.paced ? config_.timing.programmingTime : Micros::zero());
    Reply(RequestKind::DataRecord, occurrence, std::move(echo), ready);
}

void LoggerModel::StartApplication(Micros at) {
    const bool vectorsWritten = applicationValid_ || programmed_.contains(firmware::kVectorTableBlock);
    const auto info = firmware::DecodeFirmwareInfo(ReadBlock(firmware::kFirmwareInfoBlock).data());
    if (!vectorsWritten || !info) return;
    applicationValid_ = true;
    const Fault* otherClass = FindFault(FaultKind::OtherClassAfterStart);
    applicationClass_ = otherClass != nullptr ? otherClass->value : info->loggerClass;
    applicationVersion_ = info->version;
    ++applicationStarts_;
    Restart(Mode::Application, at + config_.applicationStartup);
}

void LoggerModel::Restart(Mode target, Micros readyAt) {
    mode_ = Mode::Restarting;
    restartTarget_ = target;
    readyAt_ = readyAt;
}

void LoggerModel::PowerLoss() {
    mode_ = Mode::PoweredOff;
    output_.clear();
    held_ = 0;
    DropUnit();
    if (trace_ != nullptr) trace_->Add({Direction::FromLogger, now_, {}, "power lost: silent from here on"});
}

const Fault* LoggerModel::FindFault(FaultKind kind) const {
    for (const Fault& fault : config_.faults.faults) {
        if (fault.kind == kind) return &fault;
    }
    return nullptr;
}

bool LoggerModel::Hits(const Fault& fault, RequestKind kind, int occurrence) const {
    return fault.request == kind && (fault.nth == 0 || fault.nth == occurrence);
}

void LoggerModel::Reply(RequestKind kind, int occurrence, std::vector<std::uint8_t> bytes, Micros readyAt) {
    const auto& faults = config_.faults.faults;
    const std::uint64_t seed = config_.faults.seed;
    const bool frame = kind == RequestKind::Identify;
    const auto occ = static_cast<std::uint64_t>(occurrence);

    // Content first, then length, then what goes around the reply, so the faults of one plan combine the
    // same way whatever order they were listed in.
    const FaultKind order[] = {FaultKind::NoReply,    FaultKind::ErrorBit, FaultKind::BadCheck, FaultKind::CorruptByte,
                               FaultKind::ShortReply, FaultKind::Garbage,  FaultKind::LateReply};
    std::vector<std::uint8_t> garbage;
    for (const FaultKind step : order) {
        for (std::size_t i = 0; i < faults.size(); ++i) {
            const Fault& fault = faults[i];
            if (fault.kind != step || !Hits(fault, kind, occurrence)) continue;
            const std::uint64_t random = FaultRandom(seed, i, occ, 0);
            switch (step) {
                case FaultKind::NoReply: return;
                case FaultKind::ErrorBit:
                    if (frame) {
                        bytes[0] |= link::kReplyErrorBit;
                        bytes[7] = link::Crc8Maxim(bytes.data(), 7);
                    }
                    break;
                case FaultKind::BadCheck:
                    if (frame) {
                        bytes[7] ^= NonZero(random);
                    } else if (bytes.size() >= 2) {
                        const std::size_t at = bytes.size() - 2;
                        const int value = link::HexDigitValue(static_cast<char>(bytes[at])) * 16 +
                                          link::HexDigitValue(static_cast<char>(bytes[at + 1]));
                        PutHexByte(bytes, at, static_cast<std::uint8_t>(value ^ NonZero(random)));
                    }
                    break;
                case FaultKind::CorruptByte: {
                    if (bytes.empty()) break;
                    const std::size_t at = fault.position >= 0 ? static_cast<std::size_t>(fault.position)
                                                               : static_cast<std::size_t>(random % bytes.size());
                    if (at < bytes.size()) bytes[at] ^= NonZero(random >> 16);
                    break;
                }
                case FaultKind::ShortReply:
                    bytes.resize(bytes.size() -
                                 std::min(bytes.size(), static_cast<std::size_t>(std::max(fault.count, 0))));
                    break;
                case FaultKind::Garbage:
                    for (int k = 0; k < fault.count; ++k) {
                        garbage.push_back(
                            static_cast<std::uint8_t>(FaultRandom(seed, i, occ, 2 + static_cast<std::uint64_t>(k))));
                    }
                    break;
                case FaultKind::LateReply: readyAt += fault.delay; break;
                default: break;
            }
        }
    }
    if (!garbage.empty()) Send(std::move(garbage), readyAt);
    if (!bytes.empty()) Send(std::move(bytes), readyAt);
}

void LoggerModel::Send(std::vector<std::uint8_t> bytes, Micros readyAt) {
    if (mode_ == Mode::PoweredOff || bytes.empty()) return;
    const bool paced = config_.timing.paced;
    const Micros start = std::max(readyAt, outLineFreeAt_);
    for (std::size_t i = 0; i < bytes.size(); ++i) Output(bytes[i], paced ? start + ByteTime(i + 1) : start);
    outLineFreeAt_ = paced ? start + ByteTime(bytes.size()) : start;
    if (trace_ != nullptr) {
        const Micros first = paced ? start + ByteTime(1) : start;
        std::string meaning = DescribeUnit(Direction::FromLogger, bytes);
        trace_->Add({Direction::FromLogger, first, std::move(bytes), std::move(meaning)});
    }
}

void LoggerModel::Output(std::uint8_t value, Micros at) {
    const Micros latency = config_.timing.usbLatency;
    output_.push_back({value, at, at});
    if (latency <= Micros::zero()) return;
    // A byte that comes while the timer runs joins the held ones and starts the timer again.
    const bool joins = held_ > 0 && held_ < output_.size() && at - heldLastAt_ < latency;
    held_ = joins ? held_ + 1 : 1;
    heldLastAt_ = at;
    const bool full = held_ == kConverterPacketBytes;
    const Micros passedOn = full ? at : at + latency;
    for (auto byte = output_.end() - static_cast<std::ptrdiff_t>(held_); byte != output_.end(); ++byte) {
        byte->at = passedOn;
    }
    if (full) held_ = 0;
}

std::optional<Micros> LoggerModel::NextOutputTime() const {
    if (output_.empty()) return std::nullopt;
    return output_.front().at;
}

std::vector<std::uint8_t> LoggerModel::TakeOutput(Micros upTo, std::size_t max) {
    std::vector<std::uint8_t> taken;
    while (!output_.empty() && taken.size() < max && output_.front().at <= upTo) {
        taken.push_back(output_.front().value);
        output_.pop_front();
    }
    held_ = std::min(held_, output_.size());
    return taken;
}

void LoggerModel::DiscardOutput(Micros now) {
    std::erase_if(output_, [now](const TimedByte& byte) { return byte.sent <= now; });
    held_ = std::min(held_, output_.size());
    // What was dropped never occupies the line, so the next reply is not held back behind it.
    if (output_.empty()) outLineFreeAt_ = std::min(outLineFreeAt_, std::max(now, now_));
}

std::string LoggerModel::SaveState() const {
    std::ostringstream out;
    out << kStateMagic << '\n';
    out << "application-valid " << (applicationValid_ ? 1 : 0) << '\n';
    out << "programmed";
    for (const std::uint16_t block : programmed_) {
        std::string digits;
        link::AppendHexByte(digits, static_cast<std::uint8_t>(block >> 8));
        link::AppendHexByte(digits, static_cast<std::uint8_t>(block & 0xFF));
        out << ' ' << digits;
    }
    out << '\n';
    for (const auto& [number, block] : flash_) {
        std::string text;
        link::AppendHexByte(text, static_cast<std::uint8_t>(number >> 8));
        link::AppendHexByte(text, static_cast<std::uint8_t>(number & 0xFF));
        text += ' ';
        for (const std::uint8_t b : block) link::AppendHexByte(text, b);
        out << "block " << text << '\n';
    }
    return out.str();
}

Result<> LoggerModel::RestoreState(std::string_view text) {
    std::istringstream in{std::string(text)};
    std::string line;
    if (!std::getline(in, line) || line != kStateMagic) return Failure{"not a simulator state"};
    auto hexValue = [](const std::string& digits, std::size_t at) {
        const int high = link::HexDigitValue(digits[at]);
        const int low = link::HexDigitValue(digits[at + 1]);
        return high < 0 || low < 0 ? -1 : high * 16 + low;
    };
    auto blockNumber = [&](const std::string& digits, std::uint16_t& number) {
        if (digits.size() != 4 || hexValue(digits, 0) < 0 || hexValue(digits, 2) < 0) return false;
        number = static_cast<std::uint16_t>(hexValue(digits, 0) << 8 | hexValue(digits, 2));
        return true;
    };

    std::map<std::uint16_t, Block> flash;
    std::set<std::uint16_t> programmed;
    bool valid = false;
    int lineNumber = 1;
    while (std::getline(in, line)) {
        ++lineNumber;
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        bool ok = true;
        if (key.empty()) continue;
        if (key == "application-valid") {
            int flag = -1;
            fields >> flag;
            ok = flag == 0 || flag == 1;
            valid = flag == 1;
        } else if (key == "programmed") {
            std::string digits;
            while (ok && fields >> digits) {
                std::uint16_t number = 0;
                ok = blockNumber(digits, number);
                programmed.insert(number);
            }
        } else if (key == "block") {
            std::string numberText, data;
            fields >> numberText >> data;
            std::uint16_t number = 0;
            ok = blockNumber(numberText, number) && data.size() == 2 * sizeof(Block);
            Block block{};
            for (std::size_t i = 0; ok && i < block.size(); ++i) {
                const int value = hexValue(data, 2 * i);
                ok = value >= 0;
                block[i] = static_cast<std::uint8_t>(value);
            }
            if (ok) flash[number] = block;
        } else {
            ok = false;
        }
        if (!ok) return Failure{"line " + std::to_string(lineNumber) + " of the state is malformed"};
    }
    flash_ = std::move(flash);
    programmed_ = std::move(programmed);
    applicationValid_ = valid;
    recordsSinceBegin_ = 0;
    PowerUp();
    return {};
}

}  // namespace vantrel::sim
