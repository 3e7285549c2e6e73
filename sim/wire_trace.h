// What went over the simulated line, in both directions, with the time each unit went and what it parses
// as. Both transports keep one; tests assert on it and vantrel-sim prints it with --trace.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "link/clock.h"

namespace vantrel::sim {

enum class Direction {
    ToLogger,    // written by the updater
    FromLogger,  // sent by the simulated logger
};

struct TraceEntry {
    Direction direction;
    link::Micros at;  // line time of the unit's first byte
    std::vector<std::uint8_t> bytes;
    std::string meaning;  // "frame: cmdIdentify", "record: data block 0x0400", "noise", ...
};

// What a unit of bytes parses as, seen from the given side of the line: a command or reply frame (with
// the class a reply carries), a service request by name, a data record by block, the logger's replies
// (identity, block, begin acknowledgement, echo), or noise.
std::string DescribeUnit(Direction direction, const std::vector<std::uint8_t>& bytes);
// The same for 8 bytes known to have been taken as a frame (the application reads everything as frames).
std::string DescribeFrame(Direction direction, const std::vector<std::uint8_t>& frame);

// One line of text: time in seconds, direction, the bytes (as text for record lines, hex otherwise) and
// their meaning.
std::string FormatEntry(const TraceEntry& entry);

// Thread-safe: the pty server's loop and a test's thread may add and read at the same time.
class WireTrace {
public:
    void Add(TraceEntry entry);
    std::vector<TraceEntry> Entries() const;
    // Entries whose meaning starts with the prefix, in order.
    std::vector<TraceEntry> Matching(const std::string& meaningPrefix) const;
    void Clear();
    // Called (outside the lock) for every entry added, e.g. to print it as it happens.
    void SetSink(std::function<void(const TraceEntry&)> sink);

private:
    mutable std::mutex mutex_;
    std::vector<TraceEntry> entries_;
    std::function<void(const TraceEntry&)> sink_;
};

}  // namespace vantrel::sim
