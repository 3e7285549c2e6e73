#include "sim/faults.h"

#include <algorithm>
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

namespace {

// What a fault's command-line form parses: the parts after its name. nullopt when they fit; otherwise the
// problem, or an empty text for "expected <syntax>".
using ParseArguments = std::optional<std::string> (*)(const std::vector<std::string>& args, Fault& fault);
// What a fault does, for the simulator's start-up line; which names the request and its occurrence.
using DescribeFault = std::string (*)(const Fault& fault, const std::string& which);

// One row per kind of fault: its command-line form, its help and its description are read from here only.
struct FaultForm {
    const char* name;
    FaultKind kind;
    const char* syntax;
    const char* meaning;
    ParseArguments parse;
    DescribeFault describe;
};

const std::optional<std::string> kFits = std::nullopt;
const std::optional<std::string> kExpected = std::string();

// KIND[:K], and up to extra parts more.
bool KindAndOccurrence(const std::vector<std::string>& args, Fault& fault, std::size_t extra) {
    if (args.empty() || args.size() > 2 + extra) return false;
    const auto kind = KindNamed(args[0]);
    if (!kind) return false;
    fault.request = *kind;
    return args.size() < 2 || Occurrence(args[1], fault.nth);
}

std::optional<std::string> RequestFault(const std::vector<std::string>& args, Fault& fault) {
    return KindAndOccurrence(args, fault, 0) ? kFits : kExpected;
}

// KIND[:K[:N]]: N is the count, or the position for a corrupted byte.
std::optional<std::string> CountedRequestFault(const std::vector<std::string>& args, Fault& fault) {
    if (fault.kind == FaultKind::Garbage) fault.count = 4;
    if (!KindAndOccurrence(args, fault, 1)) return kExpected;
    if (args.size() < 3) return kFits;
    long long number = 0;
    if (!Number(args[2], number) || number > 1000) return "bad number '" + args[2] + "'";
    (fault.kind == FaultKind::CorruptByte ? fault.position : fault.count) = static_cast<int>(number);
    return kFits;
}

const FaultForm kFaultForms[] = {
    {"no-reply", FaultKind::NoReply, "no-reply:KIND[:K]", "the request goes unanswered", RequestFault,
     [](const Fault&, const std::string& which) { return "no reply to " + which; }},
    {"short", FaultKind::ShortReply, "short:KIND[:K[:N]]", "the last N bytes of the reply (default 1) are not sent",
     CountedRequestFault,
     [](const Fault& f, const std::string& which) {
         return "reply to " + which + " short by " + std::to_string(f.count);
     }},
    {"corrupt", FaultKind::CorruptByte, "corrupt:KIND[:K[:POS]]",
     "one reply byte changed, at POS or where the seed says", CountedRequestFault,
     [](const Fault& f, const std::string& which) {
         return "reply to " + which + " corrupted at " +
                (f.position < 0 ? std::string("a seeded position") : std::to_string(f.position));
     }},
    {"bad-check", FaultKind::BadCheck, "bad-check:KIND[:K]", "wrong frame CRC or record checksum", RequestFault,
     [](const Fault&, const std::string& which) { return "bad CRC/checksum in reply to " + which; }},
    {"error-bit", FaultKind::ErrorBit, "error-bit[:K]", "identify reply with the error bit 0x20",
     [](const std::vector<std::string>& args, Fault& fault) {
         return args.size() > 1 || (args.size() == 1 && !Occurrence(args[0], fault.nth)) ? kExpected : kFits;
     },
     [](const Fault&, const std::string& which) { return "error bit in reply to " + which; }},
    {"garbage", FaultKind::Garbage, "garbage:KIND[:K[:N]]", "N noise bytes (default 4) before the reply",
     CountedRequestFault,
     [](const Fault& f, const std::string& which) {
         return std::to_string(f.count) + " garbage bytes before reply to " + which;
     }},
    {"late", FaultKind::LateReply, "late:KIND:K:MS", "the reply goes out MS milliseconds late",
     [](const std::vector<std::string>& args, Fault& fault) {
         long long number = 0;
         if (args.size() != 3 || !KindAndOccurrence(args, fault, 1) || !Number(args[2], number)) return kExpected;
         fault.delay = std::chrono::milliseconds(number);
         return kFits;
     },
     [](const Fault& f, const std::string& which) {
         return "reply to " + which + " late by " + std::to_string(f.delay.count() / 1000) + " ms";
     }},
    {"wrong-echo", FaultKind::WrongEcho, "wrong-echo:J[:always]",
     "data record J since begin echoed as another valid record",
     [](const std::vector<std::string>& args, Fault& fault) {
         long long number = 0;
         fault.request = RequestKind::DataRecord;
         if (args.empty() || args.size() > 2 || !Number(args[0], number) || number < 1 ||
             (args.size() == 2 && args[1] != "always" && args[1] != "once")) {
             return kExpected;
         }
         fault.nth = static_cast<int>(number);
         fault.always = args.size() == 2 && args[1] == "always";
         return kFits;
     },
     [](const Fault& f, const std::string&) {
         return "wrong echo of record " + std::to_string(f.nth) + (f.always ? " always" : " once");
     }},
    {"no-bootloader", FaultKind::NeverEnterBootloader, "no-bootloader", "cmdEnterBootloader is ignored",
     [](const std::vector<std::string>& args, Fault&) {
         return args.empty() ? kFits : std::optional<std::string>("takes no arguments");
     },
     [](const Fault&, const std::string&) { return std::string("never enters the bootloader"); }},
    {"other-class", FaultKind::OtherClassAfterStart, "other-class:CLASS", "the started application reports CLASS",
     [](const std::vector<std::string>& args, Fault& fault) {
         long long number = 0;
         if (args.size() != 1 || !Number(args[0], number) || number > 0xFFFF) return kExpected;
         fault.value = static_cast<std::uint16_t>(number);
         return kFits;
     },
     [](const Fault& f, const std::string&) { return "started application reports class " + std::to_string(f.value); }},
    {"dead-from", FaultKind::DeadLine, "dead-from:J", "power lost when data record J since begin arrives",
     [](const std::vector<std::string>& args, Fault& fault) {
         long long number = 0;
         fault.request = RequestKind::DataRecord;
         if (args.size() != 1 || !Number(args[0], number) || number < 1) return kExpected;
         fault.nth = static_cast<int>(number);
         return kFits;
     },
     [](const Fault& f, const std::string&) { return "power lost at record " + std::to_string(f.nth); }},
};

// The column the meanings start at in the help, after two blanks and the longest form.
constexpr std::size_t kSyntaxColumn = 27;

}  // namespace

std::string FaultSyntax() {
    std::string text =
        "KIND is identify, identity, readblock, begin or data; K is the occurrence hit (1-based) or 'all'.";
    for (const FaultForm& form : kFaultForms) {
        std::string syntax = form.syntax;
        syntax.resize(std::max(kSyntaxColumn, syntax.size() + 1), ' ');
        text += "\n  " + syntax + form.meaning;
    }
    return text;
}

Result<Fault> ParseFault(const std::string& text) {
    std::vector<std::string> parts = Split(text);
    auto fail = [&](const std::string& why) -> Result<Fault> { return Failure{"fault '" + text + "': " + why}; };
    if (parts.empty()) return fail("empty");
    for (const FaultForm& form : kFaultForms) {
        if (parts[0] != form.name) continue;
        Fault fault;
        fault.kind = form.kind;
        const std::vector<std::string> args(parts.begin() + 1, parts.end());
        if (const std::optional<std::string> problem = form.parse(args, fault)) {
            return fail(problem->empty() ? "expected " + std::string(form.syntax) : *problem);
        }
        return fault;
    }
    return fail("unknown fault");
}

std::string Describe(const Fault& fault) {
    const std::string which = std::string(KindName(fault.request)) + " " +
                              (fault.nth == 0 ? std::string("every time") : "#" + std::to_string(fault.nth));
    for (const FaultForm& form : kFaultForms) {
        if (form.kind == fault.kind) return form.describe(fault, which);
    }
    return "?";
}

}  // namespace vantrel::sim
