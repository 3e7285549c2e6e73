#include "sim/faults.h"

#include <optional>
#include <sstream>

namespace vantrel::sim {

namespace {

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, ':')) parts.push_back(part);
    if (!text.empty() && text.back() == ':') parts.emplace_back();
    return parts;
}

bool Number(const std::string& text, long long& value) {
    if (text.empty()) return false;
    try {
        std::size_t used = 0;
        value = std::stoll(text, &used, 0);
        return used == text.size() && value >= 0;
    } catch (const std::exception&) {
        return false;
    }
}

bool Occurrence(const std::string& text, int& nth) {
    if (text == "all" || text == "*") {
        nth = 0;
        return true;
    }
    long long value = 0;
    if (!Number(text, value) || value > 1'000'000'000) return false;
    nth = static_cast<int>(value);
    return true;
}

std::optional<RequestKind> KindNamed(const std::string& name) {
    if (name == "identify") return RequestKind::Identify;
    if (name == "identity") return RequestKind::Identity;
    if (name == "readblock") return RequestKind::ReadBlock;
    if (name == "begin") return RequestKind::Begin;
    if (name == "data") return RequestKind::DataRecord;
    return std::nullopt;
}

const char* KindName(RequestKind kind) {
    switch (kind) {
        case RequestKind::Identify: return "identify";
        case RequestKind::Identity: return "identity";
        case RequestKind::ReadBlock: return "readblock";
        case RequestKind::Begin: return "begin";
        case RequestKind::DataRecord: return "data";
    }
    return "?";
}

std::uint64_t SplitMix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

}  // namespace

std::uint64_t FaultRandom(std::uint64_t seed, std::size_t faultIndex, std::uint64_t occurrence, std::uint64_t salt) {
    std::uint64_t x = SplitMix(seed);
    x = SplitMix(x ^ faultIndex);
    x = SplitMix(x ^ occurrence);
    return SplitMix(x ^ salt);
}

std::string FaultSyntax() {
    return "KIND is identify, identity, readblock, begin or data; K is the occurrence hit (1-based) or 'all'.\n"
           "  no-reply:KIND[:K]          the request goes unanswered\n"
           "  short:KIND[:K[:N]]         the last N bytes of the reply (default 1) are not sent\n"
           "  corrupt:KIND[:K[:POS]]     one reply byte changed, at POS or where the seed says\n"
           "  bad-check:KIND[:K]         wrong frame CRC or record checksum\n"
           "  error-bit[:K]              identify reply with the error bit 0x20\n"
           "  garbage:KIND[:K[:N]]       N noise bytes (default 4) before the reply\n"
           "  late:KIND:K:MS             the reply goes out MS milliseconds late\n"
           "  wrong-echo:J[:always]      data record J since begin echoed as another valid record\n"
           "  no-bootloader              cmdEnterBootloader is ignored\n"
           "  other-class:CLASS          the started application reports CLASS\n"
           "  dead-from:J                power lost when data record J since begin arrives";
}

Result<Fault> ParseFault(const std::string& text) {
    const std::vector<std::string> parts = Split(text);
    auto fail = [&](const std::string& why) -> Result<Fault> { return Failure{"fault '" + text + "': " + why}; };
    if (parts.empty()) return fail("empty");
    const std::string& name = parts[0];
    Fault fault;
    long long number = 0;

    auto kindAndOccurrence = [&](std::size_t maxParts) -> bool {
        if (parts.size() < 2 || parts.size() > maxParts) return false;
        const auto kind = KindNamed(parts[1]);
        if (!kind) return false;
        fault.request = *kind;
        return parts.size() < 3 || Occurrence(parts[2], fault.nth);
    };

    if (name == "no-reply" || name == "bad-check") {
        fault.kind = name == "no-reply" ? FaultKind::NoReply : FaultKind::BadCheck;
        if (!kindAndOccurrence(3)) return fail("expected " + name + ":KIND[:K]");
        return fault;
    }
    if (name == "short" || name == "corrupt" || name == "garbage") {
        fault.kind = name == "short"     ? FaultKind::ShortReply
                     : name == "corrupt" ? FaultKind::CorruptByte
                                         : FaultKind::Garbage;
        if (fault.kind == FaultKind::Garbage) fault.count = 4;
        if (!kindAndOccurrence(4)) return fail("expected " + name + ":KIND[:K[:N]]");
        if (parts.size() == 4) {
            if (!Number(parts[3], number) || number > 1000) return fail("bad number '" + parts[3] + "'");
            if (fault.kind == FaultKind::CorruptByte) {
                fault.position = static_cast<int>(number);
            } else {
                fault.count = static_cast<int>(number);
            }
        }
        return fault;
    }
    if (name == "error-bit") {
        fault.kind = FaultKind::ErrorBit;
        if (parts.size() > 2 || (parts.size() == 2 && !Occurrence(parts[1], fault.nth))) {
            return fail("expected error-bit[:K]");
        }
        return fault;
    }
    if (name == "late") {
        fault.kind = FaultKind::LateReply;
        if (parts.size() != 4 || !kindAndOccurrence(4) || !Number(parts[3], number)) {
            return fail("expected late:KIND:K:MS");
        }
        fault.delay = std::chrono::milliseconds(number);
        return fault;
    }
    if (name == "wrong-echo") {
        fault.kind = FaultKind::WrongEcho;
        fault.request = RequestKind::DataRecord;
        if (parts.size() < 2 || parts.size() > 3 || !Number(parts[1], number) || number < 1 ||
            (parts.size() == 3 && parts[2] != "always" && parts[2] != "once")) {
            return fail("expected wrong-echo:J[:always]");
        }
        fault.nth = static_cast<int>(number);
        fault.always = parts.size() == 3 && parts[2] == "always";
        return fault;
    }
    if (name == "no-bootloader") {
        fault.kind = FaultKind::NeverEnterBootloader;
        if (parts.size() != 1) return fail("takes no arguments");
        return fault;
    }
    if (name == "other-class") {
        fault.kind = FaultKind::OtherClassAfterStart;
        if (parts.size() != 2 || !Number(parts[1], number) || number > 0xFFFF) {
            return fail("expected other-class:CLASS");
        }
        fault.value = static_cast<std::uint16_t>(number);
        return fault;
    }
    if (name == "dead-from") {
        fault.kind = FaultKind::DeadLine;
        fault.request = RequestKind::DataRecord;
        if (parts.size() != 2 || !Number(parts[1], number) || number < 1) return fail("expected dead-from:J");
        fault.nth = static_cast<int>(number);
        return fault;
    }
    return fail("unknown fault");
}

std::string Describe(const Fault& fault) {
    const std::string which = std::string(KindName(fault.request)) + " " +
                              (fault.nth == 0 ? std::string("every time") : "#" + std::to_string(fault.nth));
    switch (fault.kind) {
        case FaultKind::NoReply: return "no reply to " + which;
        case FaultKind::ShortReply: return "reply to " + which + " short by " + std::to_string(fault.count);
        case FaultKind::CorruptByte:
            return "reply to " + which + " corrupted at " +
                   (fault.position < 0 ? std::string("a seeded position") : std::to_string(fault.position));
        case FaultKind::BadCheck: return "bad CRC/checksum in reply to " + which;
        case FaultKind::ErrorBit: return "error bit in reply to " + which;
        case FaultKind::Garbage: return std::to_string(fault.count) + " garbage bytes before reply to " + which;
        case FaultKind::LateReply:
            return "reply to " + which + " late by " + std::to_string(fault.delay.count() / 1000) + " ms";
        case FaultKind::WrongEcho:
            return "wrong echo of record " + std::to_string(fault.nth) + (fault.always ? " always" : " once");
        case FaultKind::NeverEnterBootloader: return "never enters the bootloader";
        case FaultKind::OtherClassAfterStart: return "started application reports class " + std::to_string(fault.value);
        case FaultKind::DeadLine: return "power lost at record " + std::to_string(fault.nth);
    }
    return "?";
}

}  // namespace vantrel::sim
