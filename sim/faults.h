// Named failure modes of the simulated logger, chosen per test or per vantrel-sim run.
//
// A fault applies to a kind of request and to its k-th occurrence (1-based, counted over the model's
// whole life), or to every occurrence when k is 0. Anything a fault makes up (which byte is corrupted,
// by what, the garbage it sends) is drawn from the plan's seed and the occurrence it hits, so the same
// plan on the same traffic gives the same bytes, run after run, whatever else is in the plan.
//
// Data-record faults that name "record j" (wrong echo, dead line) count the 64-byte data records since
// the last srBeginProgramming instead, 1-based: an updater that restarts its job programs the same
// line as record j again, so "always" hits it on every try and "once" only on the first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/clock.h"
#include "sim/result.h"

namespace vantrel::sim {

enum class RequestKind {
    Identify,    // cmdIdentify frame (application or bootloader)
    Identity,    // srIdentity
    ReadBlock,   // srReadBlock
    Begin,       // srBeginProgramming
    DataRecord,  // 64-byte type-0 record
};

enum class FaultKind {
    NoReply,               // the request goes unanswered
    ShortReply,            // the last `count` bytes of the reply are never sent
    CorruptByte,           // one reply byte is changed: at `position`, or where the seed says
    BadCheck,              // frame CRC or record checksum wrong (the rest of the reply intact)
    ErrorBit,              // frame replies only: status byte carries the error bit 0x20
    Garbage,               // `count` bytes of noise go out before the reply
    LateReply,             // the reply goes out `delay` later than it would
    WrongEcho,             // data record `nth` since begin is echoed as another valid record (`always`)
    NeverEnterBootloader,  // cmdEnterBootloader is ignored
    OtherClassAfterStart,  // a started application reports `value` as its class
    DeadLine,              // power lost when data record `nth` since begin arrives: silence from then on
};

struct Fault {
    FaultKind kind = FaultKind::NoReply;
    RequestKind request = RequestKind::Identify;
    int nth = 0;              // occurrence hit, 1-based; 0 = every one
    int position = -1;        // CorruptByte: byte index in the reply, -1 = from the seed
    int count = 1;            // ShortReply: bytes missing; Garbage: bytes sent
    link::Micros delay{0};    // LateReply
    std::uint16_t value = 0;  // OtherClassAfterStart
    bool always = false;      // WrongEcho: every time record nth is met, not only the first
};

struct FaultPlan {
    std::uint64_t seed = 1;
    std::vector<Fault> faults;
};

// The command-line form of a fault, for vantrel-sim's --fault (see FaultSyntax()).
Result<Fault> ParseFault(const std::string& text);
std::string FaultSyntax();
std::string Describe(const Fault& fault);

// A 64-bit value drawn reproducibly from the seed and the occurrence a fault hits.
std::uint64_t FaultRandom(std::uint64_t seed, std::size_t faultIndex, std::uint64_t occurrence, std::uint64_t salt);

}  // namespace vantrel::sim
