#include "sim/wire_trace.h"

#include <algorithm>
#include <cstdio>

#include "link/command_frame.h"
#include "link/hex_record.h"

namespace vantrel::sim {

namespace {

std::string Hex16(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value & 0xFFFFu);
    return text;
}

std::string Hex8(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
    return text;
}

std::string DescribeFrameBytes(Direction direction, const std::vector<std::uint8_t>& frame) {
    if (std::all_of(frame.begin(), frame.end(), [](std::uint8_t b) { return b == 0; })) return "frame: zero";
    if (!link::FrameCrcValid(frame.data())) {
        return direction == Direction::ToLogger ? "frame: bad CRC" : "frame: reply with bad CRC";
    }
    if (direction == Direction::FromLogger) {
        std::string text = "frame: reply class " + Hex16(link::MakeWord(frame[2], frame[3])) + " version " +
                           std::to_string(frame[4]) + "." + (frame[5] < 10 ? "0" : "") + std::to_string(frame[5]);
        if ((frame[0] & link::kReplyErrorBit) != 0) text += " with error bit";
        return text;
    }
    if (frame[0] == (link::cmdIdentify | link::kCommandBit)) return "frame: cmdIdentify";
    if (frame[0] == (link::cmdEnterBootloader | link::kCommandBit)) {
        const bool pattern = std::equal(link::kBootloaderEntryPattern.begin(), link::kBootloaderEntryPattern.end(),
                                        frame.begin() + 1);
        return pattern ? "frame: cmdEnterBootloader" : "frame: cmdEnterBootloader with wrong pattern";
    }
    return "frame: command " + Hex8(frame[0]);
}

std::string DescribeRecord(Direction direction, const std::vector<std::uint8_t>& bytes) {
    const std::string line(bytes.begin(), bytes.end());
    link::HexRecord record;
    if (!link::ParseHexLine(line, record)) return "record: malformed";
    const unsigned address = link::MakeWord(record.addressHigh, record.addressLow);
    if (record.type == link::rtData) {
        std::string text = direction == Direction::ToLogger ? "record: data block " : "record: echo block ";
        text += Hex16(address);
        if (record.count != link::kMaxRecordCount) text += " (count " + std::to_string(record.count) + ")";
        return text;
    }
    if (record.type == link::rtEndOfFile) return "record: end of file";
    if (record.type != link::rtServiceRequest) return "record: type " + Hex8(record.type);
    if (direction == Direction::FromLogger) {
        switch (record.count) {
            case 1: return "record: begin reply";
            case 6:
                return "record: identity reply platform " +
                       std::to_string(link::MakeWord(record.data[0], record.data[1])) + " print " +
                       std::to_string(link::MakeWord(record.data[2], record.data[3])) + " info " +
                       Hex16(link::MakeWord(record.data[4], record.data[5]));
            case 64: return "record: block " + Hex16(address) + " reply";
            default: return "record: service reply (count " + std::to_string(record.count) + ")";
        }
    }
    if (record.count != 1) return "record: service request (count " + std::to_string(record.count) + ")";
    switch (record.data[0]) {
        case link::srIdentity: return "record: srIdentity";
        case link::srReadBlock: return "record: srReadBlock block " + Hex16(address);
        case link::srBeginProgramming: return "record: srBeginProgramming";
        case link::srStartApplication: return "record: srStartApplication";
        default: return "record: service " + Hex8(record.data[0]);
    }
}

bool Printable(const std::vector<std::uint8_t>& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b >= 0x20 && b < 0x7F; });
}

}  // namespace

std::string DescribeUnit(Direction direction, const std::vector<std::uint8_t>& bytes) {
    if (!bytes.empty() && bytes[0] == ':') return DescribeRecord(direction, bytes);
    if (bytes.size() == sizeof(link::CommandFrame)) return DescribeFrameBytes(direction, bytes);
    return "noise";
}

std::string DescribeFrame(Direction direction, const std::vector<std::uint8_t>& frame) {
    return frame.size() == sizeof(link::CommandFrame) ? DescribeFrameBytes(direction, frame) : "noise";
}

std::string FormatEntry(const TraceEntry& entry) {
    char stamp[32];
    const auto us = entry.at.count();
    std::snprintf(stamp, sizeof stamp, "%lld.%06lld", static_cast<long long>(us / 1000000),
                  static_cast<long long>(us % 1000000));
    std::string text = stamp;
    text += entry.direction == Direction::ToLogger ? " host->logger " : " logger->host ";
    if (!entry.bytes.empty() && entry.bytes[0] == ':' && Printable(entry.bytes)) {
        text.append(entry.bytes.begin(), entry.bytes.end());
    } else {
        for (std::size_t i = 0; i < entry.bytes.size(); ++i) {
            if (i != 0) text += ' ';
            link::AppendHexByte(text, entry.bytes[i]);
        }
    }
    text += "  | " + entry.meaning;
    return text;
}

void WireTrace::Add(TraceEntry entry) {
    std::function<void(const TraceEntry&)> sink;
    {
        std::lock_guard lock(mutex_);
        entries_.push_back(entry);
        sink = sink_;
    }
    if (sink) sink(entry);
}

std::vector<TraceEntry> WireTrace::Entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

std::vector<TraceEntry> WireTrace::Matching(const std::string& meaningPrefix) const {
    std::lock_guard lock(mutex_);
    std::vector<TraceEntry> found;
    for (const auto& entry : entries_) {
        if (entry.meaning.rfind(meaningPrefix, 0) == 0) found.push_back(entry);
    }
    return found;
}

void WireTrace::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

void WireTrace::SetSink(std::function<void(const TraceEntry&)> sink) {
    std::lock_guard lock(mutex_);
    sink_ = std::move(sink);
}

}  // namespace vantrel::sim
